#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace {

// The folder part of a path.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A fresh hidden name beside target: ".<name>.<random>.tmp", the name cut short
// enough to keep the whole within the platform's limit for one name.
std::string TempNameBeside(const std::string& target, int attempt) {
  const std::size_t slash = target.rfind('/');
  std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
  if (base.size() > 128) base.resize(128);
  std::uint64_t nonce = 0;
  if (getrandom(&nonce, sizeof nonce, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof nonce)) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    nonce = (static_cast<std::uint64_t>(getpid()) << 32) ^ static_cast<std::uint64_t>(now.tv_nsec) ^
            static_cast<std::uint64_t>(attempt) * 0x9E3779B97F4A7C15ull;
  }
  static const char hex[] = "0123456789abcdef";
  std::string name = "." + base + ".";
  for (int i = 60; i >= 0; i -= 4) name += hex[(nonce >> i) & 15];
  name += ".tmp";
  const std::string folder = FolderOf(target);
  return (folder == "/" ? std::string() : folder) + "/" + name;
}

// Copies every extended attribute of from that the process may set on to; those
// it may not set (another's security label, for instance) are left out.
void CopyExtendedAttributes(int from, int to) {
  std::vector<char> names;
  for (;;) {
    const ssize_t size = flistxattr(from, nullptr, 0);
    if (size <= 0) return;
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = flistxattr(from, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      break;
    }
    if (errno != ERANGE) return;  // grown meanwhile: ask again
  }
  std::vector<char> value;
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    at += std::char_traits<char>::length(name) + 1;
    const ssize_t size = fgetxattr(from, name, nullptr, 0);
    if (size < 0) continue;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = fgetxattr(from, name, value.data(), value.size());
    if (got < 0) continue;
    (void)fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0);
  }
}

// Writes all of bytes to fd from offset on.
bool WriteAt(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    const ssize_t n = pwrite(fd, bytes.data(), bytes.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  (void)fsync(dir);  // the new file is in place whatever this says
  close(dir);
}

}  // namespace

TFileReplace::~TFileReplace() { Abandon(); }

void TFileReplace::Abandon() {
  if (FFile)
    std::fclose(FFile);
  else if (FFd >= 0)
    close(FFd);
  FFile = nullptr;
  FFd = -1;
  if (!FTempPath.empty()) unlink(FTempPath.c_str());
  FTempPath.clear();
  if (FTargetFd >= 0) close(FTargetFd);
  FTargetFd = -1;
  FInPlaceBytes.clear();
  FPrepared = false;
}

bool TFileReplace::CommitInPlace() {
  const int fd = FTargetFd;
  const std::string_view bytes = FInPlaceBytes;
  const auto length = static_cast<off_t>(bytes.size());
  struct stat st{};
  if (fstat(fd, &st) != 0) return false;
  // Room for the new length before a byte of the file changes: a full disk, a
  // quota or a file-size limit then refuses the write while the file is whole.
  // Where the file system reserves nothing, the file grows first, by the new
  // tail past its end.
  bool reserved = length == 0 || fallocate(fd, 0, 0, length) == 0;
  if (!reserved && (errno == EOPNOTSUPP || errno == ENOSYS))
    reserved = length <= st.st_size || WriteAt(fd, bytes.substr(static_cast<std::size_t>(st.st_size)), st.st_size);
  if (!reserved) {
    struct stat now{};
    if (fstat(fd, &now) == 0 && now.st_size != st.st_size) (void)!ftruncate(fd, st.st_size);
    return false;
  }
  return WriteAt(fd, bytes, 0) && ftruncate(fd, length) == 0 && fsync(fd) == 0;
}

bool TFileReplace::Prepare(const char* path) {
  Abandon();
  FExists = FInPlace = FFailed = false;
  FTarget.clear();
  if (!path || !*path) return false;
  struct stat link{};
  if (lstat(path, &link) != 0) {
    if (errno != ENOENT) return false;
    FTarget = path;
    FPrepared = true;
    return true;
  }
  // Only a regular file is opened: opening a device or a pipe has effects of
  // its own (a watchdog is armed, a tape rewinds, a reader sees the end).
  struct stat st{};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Opening for writing, without creating or truncating, lets the kernel say
  // whether this user may write through the path; it follows a link only where
  // that is allowed. Non-blocking, so that a pipe swapped in meanwhile is
  // refused at once instead of hanging; what was opened is checked again.
  const int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  FTargetFd = fd;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || IsReadOnlyMode(st.st_mode)) return false;
  if (S_ISLNK(link.st_mode)) {
    // The new file goes beside the file the link names.
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path, nullptr), &std::free);
    if (!real) return false;
    FTarget = real.get();
  } else {
    FTarget = path;
  }
  // The file found by name must be the one opened (nothing swapped in between).
  if (!GetFileIdentity(FTarget.c_str(), FIdentity) || FIdentity.Device != static_cast<std::uint64_t>(st.st_dev) ||
      FIdentity.Index != static_cast<std::uint64_t>(st.st_ino))
    return false;
  FExists = true;
  FMode = st.st_mode;
  FOwner = st.st_uid;
  FGroup = st.st_gid;
  FPrepared = true;
  return true;
}

bool TFileReplace::Begin() {
  if (!FPrepared || FFd >= 0 || FInPlace) return false;
  int error = 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string temp = TempNameBeside(FTarget, attempt);
    // 0666 honours the user's umask for a new file; a replaced one takes the
    // former file's bits below.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      FFd = fd;
      FTempPath = std::move(temp);
      break;
    }
    error = errno;
    if (error != EEXIST) break;
  }
  if (FFd < 0) {
    // A folder the user may not write, with a file in it that the user may.
    // The new contents are kept in memory until Commit writes them over it.
    if (!FPolicy.InPlaceFallback || !FExists || FTargetFd < 0 || (error != EACCES && error != EPERM)) return false;
    const int flags = fcntl(FTargetFd, F_GETFL);
    if (flags == -1 || fcntl(FTargetFd, F_SETFL, flags & ~O_NONBLOCK) == -1) return false;
    FInPlace = true;
    return true;
  }
  if (FExists) {
    struct stat mine{};
    if (fstat(FFd, &mine) != 0) return false;
    // Owner and group first (a change of owner clears the set-id bits), where
    // the process may: the group alone where the owner cannot be given away.
    if ((mine.st_uid != FOwner || mine.st_gid != FGroup) && fchown(FFd, FOwner, FGroup) != 0 &&
        mine.st_gid != FGroup)
      (void)!fchown(FFd, static_cast<uid_t>(-1), FGroup);
    if (fchmod(FFd, FMode & 07777) != 0) return false;
    CopyExtendedAttributes(FTargetFd, FFd);
  }
  return true;
}

FILE* TFileReplace::Stream() {
  if (!FFile && FFd >= 0) FFile = fdopen(FFd, "wb");
  return FFile;
}

bool TFileReplace::Write(std::string_view bytes) {
  if (FInPlace) {
    FInPlaceBytes.append(bytes);
    return true;
  }
  if (FFd < 0) return false;
  if (FFile) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), FFile) != bytes.size()) FFailed = true;
    return !FFailed;
  }
  while (!bytes.empty()) {
    const ssize_t n = write(FFd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      FFailed = true;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool TFileReplace::Commit() {
  if (FInPlace) {
    const bool ok = FPrepared && CommitInPlace();
    Abandon();
    return ok;
  }
  if (!FPrepared || FFd < 0 || FFailed) {
    Abandon();
    return false;
  }
  // Complete on disk before it takes the target's name.
  bool ok = !FFile || (std::fflush(FFile) == 0 && !std::ferror(FFile));
  if (ok) ok = fsync(FFd) == 0;
  const int closed = FFile ? std::fclose(FFile) : close(FFd);
  FFile = nullptr;
  FFd = -1;
  if (!ok || closed != 0) {
    Abandon();
    return false;
  }
  if (FPolicy.GuardTarget && FExists) {
    TFileIdentity now;
    if (!GetFileIdentity(FTarget.c_str(), now) || !(now == FIdentity)) {
      Abandon();
      return false;
    }
  }
  int renamed;
  if (FPolicy.GuardTarget && !FExists) {
    // No file was there: one that has appeared since is not ours to replace.
    renamed = renameat2(AT_FDCWD, FTempPath.c_str(), AT_FDCWD, FTarget.c_str(), RENAME_NOREPLACE);
    if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {  // a file system without it
      struct stat st{};
      renamed = lstat(FTarget.c_str(), &st) == 0 || errno != ENOENT ? -1 : rename(FTempPath.c_str(), FTarget.c_str());
    }
  } else {
    renamed = rename(FTempPath.c_str(), FTarget.c_str());
  }
  if (renamed != 0) {
    Abandon();
    return false;
  }
  FTempPath.clear();
  Abandon();
  SyncFolder(FolderOf(FTarget));
  return true;
}
