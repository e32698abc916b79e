// The one way files are replaced: what the new file keeps of the former one,
// where a link is followed, the guard against another writer, and the settings'
// in-place way out of a folder that may not be written.
#include "platform/FileReplace.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/Profile.h"
#include "platform/ijl15/ijl.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr unsigned kNobody = 65534;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Attribute(const std::string& path, const char* name) {
  char value[256];
  const ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
  return n < 0 ? "<none>" : std::string(value, static_cast<std::size_t>(n));
}

bool Replace(const std::string& path, const std::string& bytes, TReplacePolicy policy = {}) {
  TFileReplace r(policy);
  return r.Prepare(path.c_str()) && r.Begin() && r.Write(bytes) && r.Commit();
}

// Writes an 8 x 8 gray image to path through the encoder library; its status.
int EncodeTo(const std::string& path) {
  std::vector<std::uint8_t> rows(64, 128);
  JPEG_CORE_PROPERTIES props;
  std::memset(&props, 0, sizeof props);
  if (ijlInit(&props) != IJL_OK) return IJL_INTERNAL_ERROR;
  props.DIBBytes = rows.data();
  props.DIBWidth = props.JPGWidth = props.JPGHeight = 8;
  props.DIBHeight = -8;
  props.DIBChannels = 1;
  props.DIBColor = IJL_G;
  props.JPGFile = path.c_str();
  const int status = ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE);
  ijlFree(&props);
  return status;
}

// File-system checks made as another user on this thread while it lives. The
// superuser's file-system privileges go with the change and come back after it.
class FileSystemUser {
 public:
  FileSystemUser(unsigned uid, unsigned gid) {
    setfsgid(gid);
    setfsuid(uid);
  }
  ~FileSystemUser() {
    setfsuid(geteuid());
    setfsgid(getegid());
  }
};

// Returns once a change of the file would get a later status-change time than
// it has now: a kernel that stamps changes with a coarse clock gives a change
// within the same tick the same time.
void AfterTheChangeTimeOf(const std::string& path) {
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  timespec now{};
  do {
    sched_yield();
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
  } while (now.tv_sec < st.st_ctim.tv_sec || (now.tv_sec == st.st_ctim.tv_sec && now.tv_nsec <= st.st_ctim.tv_nsec));
}

// While set, the file system stands for one that cannot reserve room for a file.
bool NoReservations = false;

}  // namespace

extern "C" int fallocate(int fd, int mode, off_t offset, off_t length) {
  static const auto real = reinterpret_cast<int (*)(int, int, off_t, off_t)>(dlsym(RTLD_NEXT, "fallocate"));
  if (NoReservations) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return real(fd, mode, offset, length);
}

TEST(FileReplace, TheNewFileKeepsBitsOwnerGroupAndExtendedAttributes) {
  TempFolder dir;
  const std::string target = dir / "photo.jpg";
  WriteBytes(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(target.c_str(), kNobody, kNobody), 0);
  }
  const bool attributes = setxattr(target.c_str(), "user.xdg.tags", "holiday,sea", 11, 0) == 0;
  if (attributes) {
    ASSERT_EQ(setxattr(target.c_str(), "user.baloo.rating", "8", 1, 0), 0);
  }

  ASSERT_TRUE(Replace(target, "new"));
  EXPECT_EQ(ReadBytes(target), "new");
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"photo.jpg"});
  struct stat st{};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
  }
  if (attributes) {
    EXPECT_EQ(Attribute(target, "user.xdg.tags"), "holiday,sea");
    EXPECT_EQ(Attribute(target, "user.baloo.rating"), "8");
  }
}

// A link another user planted in a shared sticky folder, naming a file of ours
// elsewhere: the kernel refuses to follow it for us, and so does every writer.
TEST(FileReplace, ALinkIsFollowedOnlyWhereThisUserMayOpenItForWriting) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs the superuser";
  if (ReadBytes("/proc/sys/fs/protected_symlinks").substr(0, 1) != "1")
    GTEST_SKIP() << "fs.protected_symlinks is off";
  TempFolder dir;
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  const std::string shared = dir / "shared", mine = dir / "mine.jpg", link = shared + "/$_photo.jpg";
  ASSERT_TRUE(std::filesystem::create_directory(shared));
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  WriteBytes(mine, "[Pos]\nTop=5\n");
  ASSERT_EQ(symlink(mine.c_str(), link.c_str()), 0);
  ASSERT_EQ(lchown(link.c_str(), kNobody, kNobody), 0);

  TFileReplace r;
  EXPECT_FALSE(r.Prepare(link.c_str()));
  EXPECT_NE(EncodeTo(link), IJL_OK);
  EXPECT_EQ(WritePrivateProfileStringA("Pos", "Top", "6", link.c_str()), FALSE);
  EXPECT_EQ(ReadBytes(mine), "[Pos]\nTop=5\n");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Entries(shared), std::vector<std::string>{"$_photo.jpg"});

  // The same link made by ourselves is followed.
  ASSERT_EQ(lchown(link.c_str(), 0, 0), 0);
  EXPECT_EQ(EncodeTo(link), IJL_OK);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(ReadBytes(mine), "[Pos]\nTop=5\n");
}

TEST(FileReplace, ATargetChangedSinceTheWriteBeganIsLeftToItsWriter) {
  struct Row {
    const char* name;
    bool existed;
    std::function<void(const std::string&, const std::string&)> meanwhile;  // (target, folder)
    const char* after;  // the target's contents after the refused commit
  };
  const Row rows[] = {
      {"replaced", true,
       [](const std::string& t, const std::string& d) {
         WriteBytes(d + "/other", "theirs");
         std::filesystem::rename(d + "/other", t);
       },
       "theirs"},
      {"rewritten", true, [](const std::string& t, const std::string&) { WriteBytes(t, "theirs, longer"); },
       "theirs, longer"},
      {"vanished", true, [](const std::string& t, const std::string&) { std::filesystem::remove(t); }, ""},
      {"appeared", false, [](const std::string& t, const std::string&) { WriteBytes(t, "theirs"); }, "theirs"},
      // Bits, owner and extended attributes: the new file would carry them as
      // they were before.
      {"made private", true, [](const std::string& t, const std::string&) { ASSERT_EQ(chmod(t.c_str(), 0600), 0); },
       "former"},
      {"retagged", true,
       [](const std::string& t, const std::string&) {
         ASSERT_EQ(setxattr(t.c_str(), "user.xdg.tags", "holiday", 7, 0), 0);
       },
       "former"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempFolder dir;
    const std::string target = dir / "a.jpg";
    if (row.existed) {
      WriteBytes(target, "former");
      AfterTheChangeTimeOf(target);
    }
    TFileReplace r;
    ASSERT_TRUE(r.Prepare(target.c_str()));
    ASSERT_TRUE(r.Begin());
    ASSERT_TRUE(r.Write("ours"));
    row.meanwhile(target, dir.Path());
    EXPECT_FALSE(r.Commit());
    EXPECT_EQ(ReadBytes(target), row.after);
    EXPECT_EQ(Entries(dir.Path()).size(), *row.after ? 1u : 0u) << "no temporary file left";
  }
  // Unguarded (the settings: the last writer stands), the change is overwritten.
  TempFolder dir;
  const std::string target = dir / "a.INI";
  WriteBytes(target, "former");
  TFileReplace r(TReplacePolicy{.GuardTarget = false});
  ASSERT_TRUE(r.Prepare(target.c_str()) && r.Begin() && r.Write("ours"));
  WriteBytes(target, "theirs");
  EXPECT_TRUE(r.Commit());
  EXPECT_EQ(ReadBytes(target), "ours");
}

// A settings file the user may write, in a folder the user may not: written in
// place. A read-only file stays refused, and photos are never written in place.
TEST(FileReplace, OnlyTheSettingsAreWrittenInPlaceWhereTheFolderMayNotBeWritten) {
  TempFolder dir;
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  const std::string locked = dir / "locked", ini = locked + "/a.INI", ro = locked + "/ro.INI",
                    photo = locked + "/p.jpg";
  ASSERT_TRUE(std::filesystem::create_directory(locked));
  WriteBytes(ini, "[Pos]\nTop=5\n[Other]\nLong=" + std::string(40, 'x') + "\n");
  WriteBytes(ro, "[Pos]\nTop=5\n");
  WriteBytes(photo, "photo");
  ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
  const bool root = geteuid() == 0;
  // The superuser may create files anywhere; as another user it may not.
  for (const std::string& f : {ini, ro, photo}) {
    if (root) {
      ASSERT_EQ(chown(f.c_str(), kNobody, kNobody), 0);
    }
  }
  ASSERT_EQ(chmod(locked.c_str(), root ? 0755 : 0555), 0);
  FileSystemUser user(root ? kNobody : geteuid(), root ? kNobody : getegid());

  EXPECT_EQ(WritePrivateProfileStringA("Pos", "Top", "6", ini.c_str()), TRUE);
  EXPECT_EQ(WritePrivateProfileStringA("Other", "Long", "", ini.c_str()), TRUE);  // shorter: the rest goes
  EXPECT_EQ(ReadBytes(ini), "[Pos]\nTop=6\n[Other]\nLong=\n");
  EXPECT_EQ(WritePrivateProfileStringA("Pos", "Top", "6", ro.c_str()), FALSE);
  EXPECT_EQ(WritePrivateProfileStringA("Pos", "Top", "1", (locked + "/new.INI").c_str()), FALSE);
  EXPECT_NE(EncodeTo(photo), IJL_OK);
  EXPECT_EQ(ReadBytes(ro), "[Pos]\nTop=5\n");
  EXPECT_EQ(ReadBytes(photo), "photo");
  EXPECT_EQ(Entries(locked), (std::vector<std::string>{"a.INI", "p.jpg", "ro.INI"}));
}

// As above, but with no room for the file to grow (a file-size limit standing
// for a full disk or a quota): the write is refused before a byte changes, and
// a write that fits still goes through. Also where the file system cannot
// reserve room: the file then grows first, by the new text's tail.
TEST(FileReplace, ASettingsWriteInPlaceThatCannotBeWhollyDoneChangesNothing) {
  for (const bool reservations : {true, false}) {
    SCOPED_TRACE(reservations ? "room reserved" : "no reservations on this file system");
    TempFolder dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const std::string locked = dir / "locked", ini = locked + "/a.INI";
    ASSERT_TRUE(std::filesystem::create_directory(locked));
    const std::string before = "[Pos]\nTop=5\n[Jpeg]\nComp=66\n";
    WriteBytes(ini, before);
    const bool root = geteuid() == 0;
    if (root) {
      ASSERT_EQ(chown(ini.c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(chmod(locked.c_str(), root ? 0755 : 0555), 0);
    FileSystemUser user(root ? kNobody : geteuid(), root ? kNobody : getegid());
    NoReservations = !reservations;
    {
      FileSizeLimit limit(before.size() + 1);  // room for a part of the new text only
      EXPECT_EQ(WritePrivateProfileStringA("Pos", "Top", "1234", ini.c_str()), FALSE);
      EXPECT_EQ(ReadBytes(ini), before);
      EXPECT_EQ(WritePrivateProfileStringA("Pos", "Top", "6", ini.c_str()), TRUE);
    }
    NoReservations = false;
    EXPECT_EQ(ReadBytes(ini), "[Pos]\nTop=6\n[Jpeg]\nComp=66\n");
    EXPECT_EQ(Entries(locked), std::vector<std::string>{"a.INI"});
  }
}

// Anything but a regular file is refused before it is opened, also through a
// link: opening a device for writing has effects of its own (a watchdog is
// armed, a tape rewinds; a waiting reader of a pipe sees its end).
TEST(FileReplace, WhatIsNoRegularFileIsRefusedWithoutBeingOpened) {
  TempFolder dir;
  const std::string pipe = dir / "pipe.jpg", toPipe = dir / "toPipe.jpg", toNull = dir / "toNull.jpg";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0666), 0);
  ASSERT_EQ(symlink(pipe.c_str(), toPipe.c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", toNull.c_str()), 0);
  // A reader waits, so that the pipe could be opened for writing.
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(opens, 0);
  ASSERT_GE(inotify_add_watch(opens, pipe.c_str(), IN_OPEN), 0);
  for (const std::string& path : {pipe, toPipe, std::string("/dev/null"), toNull}) {
    SCOPED_TRACE(path);
    TFileReplace r;
    EXPECT_FALSE(r.Prepare(path.c_str()));
    EXPECT_FALSE(Replace(path, "bytes"));
  }
  char events[4096];
  EXPECT_LT(read(opens, events, sizeof events), 0) << "the pipe was opened";
  close(opens);
  close(reader);
  EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"pipe.jpg", "toNull.jpg", "toPipe.jpg"}));
}
