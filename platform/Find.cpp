#include "platform/Find.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/Files.h"

namespace {

struct Search {
  std::string folder;  // with its trailing "/", or empty for the current folder
  std::vector<std::string> names;
  std::size_t next = 0;
};

std::mutex searchesLock;
std::map<THandle, std::unique_ptr<Search>> searches;
THandle nextHandle = 1;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// One character of UTF-8: a byte and the continuation bytes after it.
const char* NextChar(const char* s) {
  ++s;
  while ((static_cast<unsigned char>(*s) & 0xC0) == 0x80) ++s;
  return s;
}

bool Match(const char* p, const char* n) {
  // Iterative wildcard match with one back-tracking point for the last "*".
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*n) {
    if (*p == '*') {
      while (*p == '*') ++p;
      starP = p;
      starN = n;
    } else if (*p == '?') {
      ++p;
      n = NextChar(n);
    } else if (*p && Fold(*p) == Fold(*n)) {
      ++p;
      ++n;
    } else if (starP) {
      p = starP;
      starN = NextChar(starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

bool Fill(const std::string& folder, const std::string& name, WIN32_FIND_DATAA* data) {
  if (name.size() >= FIND_NAME_BYTES) return false;
  std::string path = (folder.empty() ? std::string() : folder) + name;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return false;
  std::memset(data, 0, sizeof *data);
  DWORD attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= FILE_ATTRIBUTE_DIRECTORY;
  else attr |= FILE_ATTRIBUTE_ARCHIVE;
  if (IsReadOnlyMode(st.st_mode)) attr |= FILE_ATTRIBUTE_READONLY;
  data->dwFileAttributes = attr;
  data->nFileSize = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
  data->mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
  return true;
}

// Hands out the next entry of a search that can still be described.
bool Advance(Search& s, WIN32_FIND_DATAA* data) {
  while (s.next < s.names.size()) {
    const std::string& name = s.names[s.next++];
    if (Fill(s.folder, name, data)) return true;  // an entry gone meanwhile is passed over
  }
  return false;
}

}  // namespace

THandle FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) {
  if (!fileName || !*fileName || !findData) return INVALID_HANDLE_VALUE;
  std::string path = fileName;
  std::size_t slash = path.rfind('/');
  auto s = std::make_unique<Search>();
  std::string last;
  if (slash == std::string::npos) {
    last = path;
  } else {
    s->folder = path.substr(0, slash + 1);
    last = path.substr(slash + 1);
  }
  if (last.empty()) return INVALID_HANDLE_VALUE;

  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    s->names.push_back(last);  // the exact name is the entry
  } else {
    DIR* dir = ::opendir(s->folder.empty() ? "." : s->folder.c_str());
    if (!dir) return INVALID_HANDLE_VALUE;
    while (dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      if (Match(last.c_str(), e->d_name)) s->names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(s->names.begin(), s->names.end());  // a stable order, whatever the folder's
  }
  if (!Advance(*s, findData)) return INVALID_HANDLE_VALUE;
  std::lock_guard<std::mutex> g(searchesLock);
  THandle h = nextHandle++;
  searches.emplace(h, std::move(s));
  return h;
}

BOOL FindNextFileA(THandle findHandle, WIN32_FIND_DATAA* findData) {
  if (!findData) return FALSE;
  std::lock_guard<std::mutex> g(searchesLock);
  auto it = searches.find(findHandle);
  if (it == searches.end()) return FALSE;
  return Advance(*it->second, findData) ? TRUE : FALSE;
}

BOOL FindClose(THandle findHandle) {
  std::lock_guard<std::mutex> g(searchesLock);
  return searches.erase(findHandle) ? TRUE : FALSE;
}
