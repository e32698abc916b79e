#include "platform/Profile.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileReplace.h"
#include "platform/Files.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// One line of the file: its text (without the line end) and where its line end stops.
struct Line {
  std::size_t begin;  // first byte
  std::size_t end;    // one past the last byte of the text, before "\r\n" or "\n"
  std::size_t next;   // one past the line end (== end for a last line without one)
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    Line l{};
    l.begin = pos;
    if (nl == std::string::npos) {
      l.end = l.next = text.size();
    } else {
      l.end = (nl > pos && text[nl - 1] == '\r') ? nl - 1 : nl;
      l.next = nl + 1;
    }
    lines.push_back(l);
    pos = l.next;
  }
  return lines;
}

// The section name of a "[name]" line; false for any other line. A "[" without a
// closing "]" opens no section.
bool SectionName(std::string_view line, std::string_view& name) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return false;
  std::size_t close = t.rfind(']');
  if (close == std::string_view::npos || close == 0) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// The key and value of a "key=value" line; false for a line without "=".
bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

struct Location {
  bool sectionFound = false;
  std::size_t sectionLine = 0;  // the "[section]" line
  std::size_t lastKeyLine = 0;  // the section's last key line (the header when it has none)
  bool keyFound = false;
  std::size_t keyLine = 0;
  std::string_view keyName, value;
};

// Finds the first section of that name and, within it, the first key of that name.
Location Find(const std::string& text, const std::vector<Line>& lines, std::string_view section,
              std::string_view key) {
  Location loc;
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line(text.data() + lines[i].begin, lines[i].end - lines[i].begin);
    std::string_view name;
    if (SectionName(line, name)) {
      if (inside) break;  // only the first section of a name counts
      if (SameName(name, section)) {
        inside = true;
        loc.sectionFound = true;
        loc.sectionLine = loc.lastKeyLine = i;
      }
      continue;
    }
    if (!inside) continue;
    std::string_view k, v;
    if (!KeyLine(line, k, v)) continue;
    loc.lastKeyLine = i;
    if (SameName(k, key)) {
      loc.keyFound = true;
      loc.keyLine = i;
      loc.keyName = k;
      loc.value = v;
      break;
    }
  }
  return loc;
}

enum class ReadResult { ok, missing, failed };

// Reads a whole regular file. Opening never blocks (a pipe is refused).
ReadResult ReadWholeFile(const char* fileName, std::string& text) {
  text.clear();
  THandle h = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE)
    return GetLastFileError() == ERROR_FILE_NOT_FOUND ? ReadResult::missing : ReadResult::failed;
  char buf[65536];
  ReadResult r = ReadResult::ok;
  for (;;) {
    std::int64_t n = ReadFileBytes(h, buf, sizeof buf);
    if (n < 0) {
      r = ReadResult::failed;
      break;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  CloseHandle(h);
  return r;
}

bool HasLineBreak(const char* s) { return std::strpbrk(s, "\r\n") != nullptr; }

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                               DWORD size, const char* fileName) {
  if (!buffer || size == 0) return 0;
  std::string value = defaultValue ? defaultValue : "";
  if (section && key && fileName && *fileName) {
    std::string text;
    if (ReadWholeFile(fileName, text) == ReadResult::ok) {
      std::vector<Line> lines = SplitLines(text);
      Location loc = Find(text, lines, section, key);
      if (loc.keyFound) {
        std::string_view v = loc.value;
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        value.assign(v);
      }
    }
  }
  std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
  if (!section || !key || !value || !fileName || !*fileName) return FALSE;
  // A line end or a "]" / "=" in a name, or a line end in a value, would write
  // lines of its own into the file.
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return FALSE;
  if (std::strchr(section, ']') || std::strchr(key, '=')) return FALSE;
  if (Trim(section).empty() || Trim(key).empty()) return FALSE;

  // Several copies of a program share one settings file and the last write
  // stands, so a file changed by another copy meanwhile is written all the same.
  // In a folder the user may not write, a file the user may write is written in place.
  TFileReplace replace(TReplacePolicy{.GuardTarget = false, .InPlaceFallback = true});
  if (!replace.Prepare(fileName)) return FALSE;
  std::string text;
  if (replace.TargetExists() && ReadWholeFile(replace.Target().c_str(), text) != ReadResult::ok) return FALSE;
  std::vector<Line> lines = SplitLines(text);
  // New lines follow the file's own line ends.
  std::string eol = "\n";
  if (!lines.empty() && lines.front().next > lines.front().end + 1) eol = "\r\n";

  Location loc = Find(text, lines, section, key);
  std::string out;
  if (loc.keyFound) {
    const Line& l = lines[loc.keyLine];
    out.append(text, 0, l.begin);
    out.append(loc.keyName);
    out += '=';
    out += value;
    out.append(text, l.end, std::string::npos);
  } else if (loc.sectionFound) {
    const Line& l = lines[loc.lastKeyLine];
    out.append(text, 0, l.next);
    if (l.next == l.end) out += eol;  // the line had no line end of its own
    out += key;
    out += '=';
    out += value;
    out += eol;
    out.append(text, l.next, std::string::npos);
  } else {
    out = text;
    if (!out.empty() && out.back() != '\n') out += eol;
    out += '[';
    out += section;
    out += ']';
    out += eol;
    out += key;
    out += '=';
    out += value;
    out += eol;
  }
  // Nothing to change: the file is left as it is. The checks above have refused
  // a file that may not be written all the same.
  if (replace.TargetExists() && out == text) return TRUE;
  return replace.Begin() && replace.Write(out) && replace.Commit() ? TRUE : FALSE;
}
