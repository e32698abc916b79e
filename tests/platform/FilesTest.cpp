#include "platform/Files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "tests/support/TempFolder.h"

namespace {

std::uint32_t Pack(int y, int mo, int d, int h, int mi, int s) {
  std::uint32_t date = static_cast<std::uint32_t>(((y - 1980) << 9) | (mo << 5) | d);
  std::uint32_t time = static_cast<std::uint32_t>((h << 11) | (mi << 5) | (s / 2));
  return (date << 16) | time;
}

struct OpenFile {
  THandle h;
  explicit OpenFile(THandle handle) : h(handle) {}
  ~OpenFile() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// Local time is the given zone's while it lives.
class TZone {
 public:
  explicit TZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) FOld = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~TZone() {
    if (FOld)
      ::setenv("TZ", FOld->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> FOld;
};

}  // namespace

TEST(Files, PackedTimesAreTheWallClockOfAZoneWithSummerTime) {
  // Berlin's rules, written out so that no zone database is needed.
  TZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
  struct TCase {
    const char* name;
    std::time_t utc;
    std::uint32_t local;
  } cases[] = {{"summer", 1593597600, Pack(2020, 7, 1, 12, 0, 0)},    // 10:00 UTC, UTC+2
               {"winter", 1579089600, Pack(2020, 1, 15, 13, 0, 0)}};  // 12:00 UTC, UTC+1
  TempFolder dir;
  const std::string f = dir / "t.jpg";
  WriteBytes(f, "x");
  OpenFile file(CreateFileA(f.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING));
  ASSERT_NE(file.h, INVALID_HANDLE_VALUE);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint32_t packed = 0;
    ASSERT_TRUE(UnixTimeToDosDateTime(c.utc, packed));
    EXPECT_EQ(packed, c.local);
    std::time_t back = 0;
    ASSERT_TRUE(DosDateTimeToUnixTime(c.local, back));
    EXPECT_EQ(back, c.utc);
    ASSERT_TRUE(SetFileDosDateTime(file.h, c.local));
    struct stat st {};
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, c.utc);
    ASSERT_TRUE(GetFileDosDateTime(file.h, packed));
    EXPECT_EQ(packed, c.local);
  }
}

TEST(Files, DosTimeRoundTripSetsOnlyTheLastWriteTime) {
  TempFolder dir;
  std::string f = dir / "t.jpg";
  WriteBytes(f, "x");
  timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), times, 0), 0);

  OpenFile file(CreateFileA(f.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING));
  ASSERT_NE(file.h, INVALID_HANDLE_VALUE);
  for (std::uint32_t packed : {Pack(2020, 6, 15, 12, 34, 56), Pack(1980, 1, 1, 0, 0, 0), Pack(2107, 12, 31, 23, 59, 58),
                               Pack(2000, 2, 29, 8, 0, 2)}) {
    ASSERT_TRUE(SetFileDosDateTime(file.h, packed)) << std::hex << packed;
    std::uint32_t back = 0;
    ASSERT_TRUE(GetFileDosDateTime(file.h, back));
    EXPECT_EQ(back, packed);
  }
  // The stamp is local time, as the fields say.
  ASSERT_TRUE(SetFileDosDateTime(file.h, Pack(2020, 6, 15, 12, 34, 56)));
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  struct tm tm {};
  localtime_r(&st.st_mtim.tv_sec, &tm);
  EXPECT_EQ(tm.tm_year + 1900, 2020);
  EXPECT_EQ(tm.tm_mon + 1, 6);
  EXPECT_EQ(tm.tm_mday, 15);
  EXPECT_EQ(tm.tm_hour, 12);
  EXPECT_EQ(tm.tm_min, 34);
  EXPECT_EQ(tm.tm_sec, 56);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);  // the access time stays
}

TEST(Files, InvalidPackedValuesAreRefused) {
  TempFolder dir;
  std::string f = dir / "t.jpg";
  WriteBytes(f, "x");
  OpenFile file(CreateFileA(f.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING));
  ASSERT_NE(file.h, INVALID_HANDLE_VALUE);
  const std::uint32_t good = Pack(2010, 3, 4, 5, 6, 8);
  ASSERT_TRUE(SetFileDosDateTime(file.h, good));
  const std::uint32_t bad[] = {0,
                               0xFFFFFFFFu,
                               Pack(2010, 0, 4, 5, 6, 8),
                               Pack(2010, 13, 4, 5, 6, 8),
                               Pack(2010, 3, 0, 5, 6, 8),
                               Pack(2010, 4, 31, 5, 6, 8),
                               Pack(2001, 2, 29, 5, 6, 8),
                               (good & 0xFFFF0000u) | (24u << 11),
                               (good & 0xFFFF0000u) | (60u << 5),
                               (good & 0xFFFF0000u) | 30u};
  for (std::uint32_t p : bad) {
    EXPECT_FALSE(IsValidDosDateTime(p)) << std::hex << p;
    EXPECT_FALSE(SetFileDosDateTime(file.h, p)) << std::hex << p;
    EXPECT_EQ(GetLastFileError(), ERROR_INVALID_PARAMETER);
    std::uint32_t now = 0;
    ASSERT_TRUE(GetFileDosDateTime(file.h, now));
    EXPECT_EQ(now, good);
  }
  EXPECT_TRUE(IsValidDosDateTime(Pack(2010, 1, 31, 23, 59, 58)));
}

TEST(Files, TimesOutsideTheDosRangeCannotBePacked) {
  std::uint32_t packed = 0;
  // Mid-year instants stay within their year in every time zone.
  EXPECT_FALSE(UnixTimeToDosDateTime(299635200, packed));   // 1979
  EXPECT_TRUE(UnixTimeToDosDateTime(331257600, packed));    // 1980
  EXPECT_TRUE(UnixTimeToDosDateTime(4338921600, packed));   // 2107
  EXPECT_FALSE(UnixTimeToDosDateTime(4370544000, packed));  // 2108
}

TEST(Files, ReadOnlyHoldsForEveryoneAndPipesNeverBlock) {
  TempFolder dir;
  std::string f = dir / "ro.jpg";
  WriteBytes(f, "abc");
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  EXPECT_EQ(CreateFileA(f.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastFileError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileA(f.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(f.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadBytes(f), "abc");  // not truncated by the refused open

  OpenFile reading(CreateFileA(f.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
  ASSERT_NE(reading.h, INVALID_HANDLE_VALUE);
  char buf[8] = {};
  EXPECT_EQ(ReadFileBytes(reading.h, buf, sizeof buf), 3);
  EXPECT_EQ(std::string(buf), "abc");
  EXPECT_EQ(SeekFile(reading.h, 1, 0), 1);
  EXPECT_EQ(ReadFileBytes(reading.h, buf, 8), 2);
  EXPECT_EQ(SeekFile(reading.h, 0, 2), 3);
  EXPECT_EQ(SeekFile(reading.h, 0, 3), -1);

  std::string fifo = dir / "pipe.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  EXPECT_EQ(CreateFileA(fifo.c_str(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(dir.Path().c_str(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA((dir / "none").c_str(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastFileError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CreateFileA("", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
}
