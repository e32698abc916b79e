// File services: opening with access and sharing flags, reading, seeking, and
// the last-write time as a packed local DOS date and time.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/WinTypes.h"

// Access rights.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
// Sharing: what others may do while the handle is open. Accepted; the platform
// has no mandatory locks, so a deny mode is a promise among cooperating programs.
constexpr DWORD FILE_SHARE_READ = 0x00000001u;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002u;
// Creation disposition.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;

// Error codes of the file services.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;

// Opens (or creates, per disposition) a file; INVALID_HANDLE_VALUE on failure.
// A file whose permission bits hold no write bit at all is read-only for every
// user, the superuser included: opening it for writing fails.
THandle CreateFileA(const char* fileName, DWORD access, DWORD share, DWORD disposition);
BOOL CloseHandle(THandle handle);
// Reads up to count bytes (fewer only at the end of the file); -1 on failure.
std::int64_t ReadFileBytes(THandle handle, void* buffer, std::int64_t count);
// Moves the file position (origin 0 start, 1 current, 2 end); the new position or -1.
std::int64_t SeekFile(THandle handle, std::int64_t offset, int origin);
// The error code of the last failing file service on this thread.
DWORD GetLastFileError();

// The platform's read-only rule for permission bits.
bool IsReadOnlyMode(unsigned mode);

// What tells one file from another at the same path, and one state of a file from
// a later one: the file itself (device and index number), its size, its
// last-write time and its status-change time, to the nanosecond. The latter moves
// with every change of the bits, owner, links or extended attributes as well.
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Index = 0;
  std::int64_t Size = 0;
  std::int64_t WriteTimeSec = 0;
  std::int64_t WriteTimeNsec = 0;
  std::int64_t ChangeTimeSec = 0;
  std::int64_t ChangeTimeNsec = 0;
  bool operator==(const TFileIdentity&) const = default;
};
// The identity of the file at path, following links; false when there is none.
bool GetFileIdentity(const char* path, TFileIdentity& identity);

// The process's current folder; empty when it cannot be told.
std::string GetCurrentDirectoryPath();

// ---- Packed local DOS date and time ------------------------------------------------
// Date in the high 16 bits: (year-1980)*512 + month*32 + day; time in the low 16
// bits: hour*2048 + minute*32 + second/2.
// Whether a packed value names a real date and time (years 1980 to 2107).
bool IsValidDosDateTime(std::uint32_t packed);
// Packs a Unix time as local time; false outside 1980 to 2107. Odd seconds round down.
bool UnixTimeToDosDateTime(std::time_t t, std::uint32_t& packed);
// Unpacks a valid packed value into a Unix time (local time); false when invalid.
bool DosDateTimeToUnixTime(std::uint32_t packed, std::time_t& t);

// The last-write time of an open file; false when it cannot be read or lies
// outside the packed range.
bool GetFileDosDateTime(THandle handle, std::uint32_t& packed);
// Sets only the last-write time (the access time stays); false, with
// ERROR_INVALID_PARAMETER, when the value names no valid date.
bool SetFileDosDateTime(THandle handle, std::uint32_t packed);
