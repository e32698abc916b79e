#include "classlib/SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/Find.h"
#include "platform/Module.h"

// ---- Text and numbers ---------------------------------------------------------

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, again);
    out.assign(buf.data(), static_cast<std::size_t>(n));
  }
  va_end(again);
  return out;
}

namespace {
// A 32-bit pattern as a signed number, without relying on wrap-around.
Integer AsInteger(std::uint32_t bits) {
  return bits <= 0x7FFFFFFFu ? static_cast<Integer>(bits)
                             : static_cast<Integer>(static_cast<std::int64_t>(bits) - 0x100000000LL);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool TryStrToInt(std::string_view text, Integer& value) {
  std::size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  if (i == n) return false;

  // Hexadecimal: "$", "x", "X", "0x" or "0X", no sign.
  std::size_t hexStart = std::string_view::npos;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X')
    hexStart = i + 1;
  else if (text[i] == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X'))
    hexStart = i + 2;
  if (hexStart != std::string_view::npos) {
    std::size_t j = hexStart;
    if (j == n) return false;
    while (j < n && text[j] == '0') ++j;  // leading zeros do not count towards the 8 digits
    std::uint32_t bits = 0;
    int digits = 0;
    for (; j < n; ++j) {
      int d = HexDigit(text[j]);
      if (d < 0) return false;
      if (++digits > 8) return false;
      bits = (bits << 4) | static_cast<std::uint32_t>(d);
    }
    value = AsInteger(bits);  // the 32-bit pattern, so $FFFFFFFF is -1
    return true;
  }

  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  if (i == n) return false;
  // Accumulate in 64 bits and stop as soon as the 32-bit range is left.
  std::int64_t magnitude = 0;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  for (; i < n; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return false;
  }
  value = static_cast<Integer>(negative ? -magnitude : magnitude);
  return true;
}

Integer StrToInt(std::string_view text) {
  Integer v;
  if (!TryStrToInt(text, v)) throw EConvertError(Format("'%s' は整数ではありません", std::string(text).c_str()));
  return v;
}

std::string IntToStr(Integer value) { return std::to_string(value); }

std::string LowerCase(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// ---- Paths -----------------------------------------------------------------------

namespace {
// Calls visit with the index of every character of s that is a single byte, up
// to (not including) end. The walk starts at the beginning: only so are character
// boundaries known, and a trail byte that carries a delimiter's code belongs to
// its character. Returns the index the walk stopped at, which is end when a
// character starts there and end + 1 when end is the trail byte of one.
template <class Visit>
std::size_t WalkSingleByteCharacters(std::string_view s, std::size_t end, Visit visit) {
  std::size_t i = 0;
  while (i < end) {
    if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
      i += 2;
      continue;
    }
    visit(i);
    ++i;
  }
  return i;
}
}  // namespace

std::size_t LastDelimiter(std::string_view delimiters, std::string_view s) {
  std::size_t last = std::string_view::npos;
  WalkSingleByteCharacters(s, s.size(), [&](std::size_t i) {
    if (delimiters.find(s[i]) != std::string_view::npos) last = i;
  });
  return last;
}

bool IsDelimiter(std::string_view delimiters, std::string_view s, std::size_t index) {
  if (index >= s.size() || delimiters.find(s[index]) == std::string_view::npos) return false;
  return WalkSingleByteCharacters(s, index, [](std::size_t) {}) == index;
}

namespace {
std::string PathDelimiters() {
  std::string d(1, PathRules().PathDelim);
  if (PathRules().DriveDelim) d += PathRules().DriveDelim;
  return d;
}
}  // namespace

// The path and drive delimiters and ".": the last of them starts the extension
// when it is the ".".
static std::string ExtensionDelimiters() {
  std::string delimiters = PathDelimiters();
  delimiters += '.';
  return delimiters;
}

std::string ExtractFileExt(std::string_view path) {
  std::size_t i = LastDelimiter(ExtensionDelimiters(), path);
  if (i != std::string_view::npos && path[i] == '.') return std::string(path.substr(i));
  return {};
}

std::string ExtractFilePath(std::string_view path) {
  std::size_t i = LastDelimiter(PathDelimiters(), path);
  return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string ExtractFileName(std::string_view path) {
  std::size_t i = LastDelimiter(PathDelimiters(), path);
  return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::size_t i = LastDelimiter(ExtensionDelimiters(), path);
  if (i == std::string_view::npos || path[i] != '.') i = path.size();
  std::string out(path.substr(0, i));
  out += ext;
  return out;
}

// ---- Files ------------------------------------------------------------------------

std::string GetCurrentDir() { return GetCurrentDirectoryPath(); }

bool FileExists(std::string_view path) {
  std::string p(path);
  if (p.empty() || p.find('\0') != std::string::npos) return false;
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::uint32_t packed;
  return UnixTimeToDosDateTime(st.st_mtim.tv_sec, packed);
}

THandle FileOpen(std::string_view path, Cardinal mode) {
  std::string p(path);
  if (p.find('\0') != std::string::npos) return INVALID_HANDLE_VALUE;
  static const DWORD access[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  Cardinal a = mode & 3;
  if (a > 2) return INVALID_HANDLE_VALUE;
  // Sharing: exclusive denies both, deny-write keeps reading, deny-read keeps
  // writing; none given or deny-none keeps both.
  DWORD share;
  switch (mode & 0xF0) {
    case fmShareExclusive: share = 0; break;
    case fmShareDenyWrite: share = FILE_SHARE_READ; break;
    case fmShareDenyRead: share = FILE_SHARE_WRITE; break;
    default: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
  }
  return CreateFileA(p.c_str(), access[a], share, OPEN_EXISTING);
}

void FileClose(THandle handle) { CloseHandle(handle); }

std::int64_t FileRead(THandle handle, void* buffer, std::int64_t count) {
  return ReadFileBytes(handle, buffer, count);
}

std::int64_t FileSeek(THandle handle, std::int64_t offset, int origin) { return SeekFile(handle, offset, origin); }

Integer FileGetDate(THandle handle) {
  std::uint32_t packed;
  if (!GetFileDosDateTime(handle, packed)) return -1;
  return AsInteger(packed);
}

Integer FileSetDate(THandle handle, Integer age) {
  if (SetFileDosDateTime(handle, static_cast<std::uint32_t>(age))) return 0;
  DWORD e = GetLastFileError();
  return e == 0 ? static_cast<Integer>(ERROR_INVALID_PARAMETER) : static_cast<Integer>(e & 0x7FFFFFFF);
}

// ---- Program ------------------------------------------------------------------------

int ParamCount() { return static_cast<int>(CommandLineParams().size()); }

std::string ParamStr(int index) {
  if (index == 0) return ModuleFileName();
  std::vector<std::string> params = CommandLineParams();
  if (index < 0 || static_cast<std::size_t>(index) > params.size()) return {};
  return params[static_cast<std::size_t>(index - 1)];
}

// ---- Directory search -------------------------------------------------------------------

namespace {
constexpr Integer kNoMoreFiles = 18;
constexpr Integer kSpecialAttrs = faHidden | faSysFile | faVolumeID | faDirectory;

// Fills F from the search's entry, passing over entries that the mask excludes.
Integer FindMatching(TSearchRec& F, WIN32_FIND_DATAA& data) {
  while (static_cast<Integer>(data.dwFileAttributes) & F.ExcludeAttr) {
    if (!FindNextFileA(F.FindHandle, &data)) return kNoMoreFiles;
  }
  std::uint32_t packed = 0;
  F.Time = UnixTimeToDosDateTime(static_cast<std::time_t>(data.mtime), packed) ? AsInteger(packed) : 0;
  F.Size = data.nFileSize;
  F.Attr = static_cast<Integer>(data.dwFileAttributes);
  F.Name = data.cFileName;
  return 0;
}
}  // namespace

Integer FindFirst(std::string_view path, Integer attr, TSearchRec& F) {
  F.ExcludeAttr = ~attr & kSpecialAttrs;
  std::string p(path);
  WIN32_FIND_DATAA data;
  F.FindHandle = p.find('\0') == std::string::npos ? FindFirstFileA(p.c_str(), &data) : INVALID_HANDLE_VALUE;
  if (F.FindHandle == INVALID_HANDLE_VALUE) return static_cast<Integer>(ERROR_FILE_NOT_FOUND);
  Integer r = FindMatching(F, data);
  if (r != 0) FindClose(F);
  return r;
}

Integer FindNext(TSearchRec& F) {
  WIN32_FIND_DATAA data;
  if (F.FindHandle == INVALID_HANDLE_VALUE || !FindNextFileA(F.FindHandle, &data)) return kNoMoreFiles;
  return FindMatching(F, data);
}

void FindClose(TSearchRec& F) {
  if (F.FindHandle != INVALID_HANDLE_VALUE) {
    ::FindClose(F.FindHandle);
    F.FindHandle = INVALID_HANDLE_VALUE;
  }
}
