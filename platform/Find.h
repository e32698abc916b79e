// Directory search. A search names a folder and, as its last component, a name
// or a pattern: the exact entry when it exists, else every entry of the folder
// whose name matches without regard to letter case or as a "*"/"?" pattern, in
// the order of their names.
#pragma once
#include "platform/WinTypes.h"

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// No name of an entry is longer than 255 bytes on this platform.
constexpr std::size_t FIND_NAME_BYTES = 260;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  std::int64_t nFileSize;
  std::int64_t mtime;  // last-write time, seconds since 1970 (UTC)
  char cFileName[FIND_NAME_BYTES];  // the entry's name as the file system stores it
};

// Starts a search; a handle for FindNextFileA and FindClose, or
// INVALID_HANDLE_VALUE when nothing matches (an empty name never does).
THandle FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData);
// The next matching entry; FALSE when there is none.
BOOL FindNextFileA(THandle findHandle, WIN32_FIND_DATAA* findData);
// Ends a search and releases its handle.
BOOL FindClose(THandle findHandle);
