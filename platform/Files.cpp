#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    case ENXIO:
      return ERROR_ACCESS_DENIED;  // a pipe without a reader
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    default:
      return ERROR_GEN_FAILURE;
  }
}

bool Fail(DWORD code) {
  lastError = code;
  return false;
}

int Descriptor(THandle handle) {
  // Handles are descriptors plus one; anything below 1 is no handle.
  if (handle < 1 || handle > 0x7FFFFFFF) return -1;
  return static_cast<int>(handle - 1);
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

struct DosParts {
  int year, month, day, hour, minute, second;
};

DosParts Unpack(std::uint32_t packed) {
  std::uint32_t date = packed >> 16, time = packed & 0xFFFFu;
  return DosParts{static_cast<int>(date >> 9) + 1980, static_cast<int>((date >> 5) & 15),
                  static_cast<int>(date & 31),        static_cast<int>(time >> 11),
                  static_cast<int>((time >> 5) & 63), static_cast<int>(time & 31) * 2};
}

}  // namespace

bool IsReadOnlyMode(unsigned mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

bool GetFileIdentity(const char* path, TFileIdentity& identity) {
  struct stat st {};
  if (!path || ::stat(path, &st) != 0) return false;
  identity.Device = static_cast<std::uint64_t>(st.st_dev);
  identity.Index = static_cast<std::uint64_t>(st.st_ino);
  identity.Size = static_cast<std::int64_t>(st.st_size);
  identity.WriteTimeSec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  identity.WriteTimeNsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  identity.ChangeTimeSec = static_cast<std::int64_t>(st.st_ctim.tv_sec);
  identity.ChangeTimeNsec = static_cast<std::int64_t>(st.st_ctim.tv_nsec);
  return true;
}

std::string GetCurrentDirectoryPath() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

THandle CreateFileA(const char* fileName, DWORD access, DWORD share, DWORD disposition) {
  (void)share;
  if (!fileName || !*fileName) {
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool wantRead = (access & GENERIC_READ) != 0, wantWrite = (access & GENERIC_WRITE) != 0;
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;  // non-blocking only while opening: a FIFO must not hang us
  flags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case OPEN_EXISTING: break;
    default:
      Fail(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if ((flags & O_CREAT) && !wantWrite) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int fd;
  do fd = ::open(fileName, flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  DWORD refuse = ERROR_SUCCESS;
  if (::fstat(fd, &st) != 0)
    refuse = ErrorFromErrno(errno);
  else if (!S_ISREG(st.st_mode))
    refuse = ERROR_ACCESS_DENIED;  // folders, pipes and devices are not files to us
  else if (wantWrite && IsReadOnlyMode(st.st_mode))
    refuse = ERROR_ACCESS_DENIED;  // the superuser could write it; the read-only mark still holds
  else if (disposition == CREATE_ALWAYS && ::ftruncate(fd, 0) != 0)
    refuse = ErrorFromErrno(errno);
  else {
    int fl = ::fcntl(fd, F_GETFL);
    if (fl == -1 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) == -1) refuse = ErrorFromErrno(errno);
  }
  if (refuse != ERROR_SUCCESS) {
    ::close(fd);
    Fail(refuse);
    return INVALID_HANDLE_VALUE;
  }
  lastError = ERROR_SUCCESS;
  return static_cast<THandle>(fd) + 1;
}

BOOL CloseHandle(THandle handle) {
  int fd = Descriptor(handle);
  if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
  // The descriptor is gone after close, also when close reports EINTR.
  if (::close(fd) != 0 && errno != EINTR) return Fail(ErrorFromErrno(errno));
  return TRUE;
}

std::int64_t ReadFileBytes(THandle handle, void* buffer, std::int64_t count) {
  int fd = Descriptor(handle);
  if (fd < 0 || count < 0 || (count > 0 && !buffer)) {
    Fail(fd < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return -1;
  }
  auto* p = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd, p + done, static_cast<std::size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(ErrorFromErrno(errno));
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t SeekFile(THandle handle, std::int64_t offset, int origin) {
  int fd = Descriptor(handle);
  static const int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (fd < 0 || origin < 0 || origin > 2) {
    Fail(fd < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return -1;
  }
  off_t pos = ::lseek(fd, static_cast<off_t>(offset), whence[origin]);
  if (pos < 0) {
    Fail(ErrorFromErrno(errno));
    return -1;
  }
  return static_cast<std::int64_t>(pos);
}

DWORD GetLastFileError() { return lastError; }

// ---- Packed DOS date and time ------------------------------------------------------------

bool IsValidDosDateTime(std::uint32_t packed) {
  DosParts p = Unpack(packed);
  if (p.month < 1 || p.month > 12) return false;
  if (p.day < 1 || p.day > DaysInMonth(p.year, p.month)) return false;
  return p.hour <= 23 && p.minute <= 59 && p.second <= 58;
}

bool UnixTimeToDosDateTime(std::time_t t, std::uint32_t& packed) {
  struct tm tm {};
  if (!::localtime_r(&t, &tm)) return false;
  // tm_year counts from 1900; compare before converting so nothing overflows.
  if (tm.tm_year < 80 || tm.tm_year > 207) return false;
  int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second stays in its minute
  std::uint32_t date = static_cast<std::uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  std::uint32_t time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (sec / 2));
  packed = (date << 16) | time;
  return true;
}

bool DosDateTimeToUnixTime(std::uint32_t packed, std::time_t& t) {
  if (!IsValidDosDateTime(packed)) return false;
  DosParts p = Unpack(packed);
  struct tm tm {};
  tm.tm_year = p.year - 1900;
  tm.tm_mon = p.month - 1;
  tm.tm_mday = p.day;
  tm.tm_hour = p.hour;
  tm.tm_min = p.minute;
  tm.tm_sec = p.second;
  tm.tm_isdst = -1;  // let the zone rules decide summer time
  errno = 0;
  std::time_t r = ::mktime(&tm);
  if (r == static_cast<std::time_t>(-1) && errno != 0) return false;
  t = r;
  return true;
}

bool GetFileDosDateTime(THandle handle, std::uint32_t& packed) {
  int fd = Descriptor(handle);
  if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Fail(ErrorFromErrno(errno));
  if (!UnixTimeToDosDateTime(st.st_mtim.tv_sec, packed)) return Fail(ERROR_INVALID_PARAMETER);
  return true;
}

bool SetFileDosDateTime(THandle handle, std::uint32_t packed) {
  int fd = Descriptor(handle);
  if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
  std::time_t t;
  if (!DosDateTimeToUnixTime(packed, t)) return Fail(ERROR_INVALID_PARAMETER);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // keep the access time
  times[1].tv_sec = t;
  times[1].tv_nsec = 0;
  if (::futimens(fd, times) != 0) return Fail(ErrorFromErrno(errno));
  return true;
}
