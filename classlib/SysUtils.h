// Runtime unit: the exception classes of the class library and its string, number,
// path and file routines.
#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

using Integer = std::int32_t;
using Cardinal = std::uint32_t;
using AnsiString = std::string;

// ---- Exceptions -------------------------------------------------------------
// Every failure of the system is an Exception carrying its message text.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  ~Exception() override = default;
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }
  // The class name, as the error box and tests refer to it.
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string FMessage;
};

#define VORNEL_EXCEPTION(Name, Parent)                                   \
  class Name : public Parent {                                           \
   public:                                                               \
    using Parent::Parent;                                                \
    const char* ClassName() const noexcept override { return #Name; }    \
  }

// The silent exception: the application's handler shows nothing for it.
VORNEL_EXCEPTION(EAbort, Exception);
VORNEL_EXCEPTION(EConvertError, Exception);
VORNEL_EXCEPTION(EOutOfMemory, Exception);
VORNEL_EXCEPTION(EOutOfResources, EOutOfMemory);
VORNEL_EXCEPTION(EStreamError, Exception);
VORNEL_EXCEPTION(EFileStreamError, EStreamError);
VORNEL_EXCEPTION(EFOpenError, EFileStreamError);
VORNEL_EXCEPTION(EFCreateError, EFileStreamError);
VORNEL_EXCEPTION(EFilerError, EStreamError);
VORNEL_EXCEPTION(EReadError, EFilerError);
VORNEL_EXCEPTION(EWriteError, EFilerError);
VORNEL_EXCEPTION(EInvalidGraphic, Exception);
VORNEL_EXCEPTION(EInvalidGraphicOperation, Exception);
VORNEL_EXCEPTION(EJPEG, EInvalidGraphic);
VORNEL_EXCEPTION(EIntError, Exception);
VORNEL_EXCEPTION(EDivByZero, EIntError);
VORNEL_EXCEPTION(EIntOverflow, EIntError);
VORNEL_EXCEPTION(EMathError, Exception);
VORNEL_EXCEPTION(EZeroDivide, EMathError);
VORNEL_EXCEPTION(EInvalidOp, EMathError);
VORNEL_EXCEPTION(EOverflow, EMathError);
// A form resource that names an unknown class, property or method, or is malformed.
VORNEL_EXCEPTION(EResourceError, Exception);

// ---- Text and numbers ---------------------------------------------------------
// printf-style formatting of the class library's messages (%s, %d, %u, %x).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The integer syntax shared by the settings reader and the edits: leading spaces,
// then an optional sign and decimal digits within 32 bits, or "$", "x", "X", "0x"
// or "0X" and at most 8 significant hexadecimal digits taken as a 32-bit pattern;
// nothing may follow the digits.
bool TryStrToInt(std::string_view text, Integer& value);
// As TryStrToInt; anything else raises EConvertError "'%s' は整数ではありません".
Integer StrToInt(std::string_view text);
std::string IntToStr(Integer value);

// Letters A to Z become a to z; every other byte stays.
std::string LowerCase(std::string_view text);

// ---- Paths (the platform's delimiters and code page, see platform/CodePage.h) ----
// Index of the last byte of s that is one of delimiters and a character of its own
// (not the trail byte of a double-byte character); npos when there is none.
std::size_t LastDelimiter(std::string_view delimiters, std::string_view s);
// Whether the byte at index is one of delimiters and a character of its own.
bool IsDelimiter(std::string_view delimiters, std::string_view s, std::size_t index);
// The text from the last "." to the end when no path or drive delimiter follows it.
std::string ExtractFileExt(std::string_view path);
// The folder part, up to and including the last path or drive delimiter.
std::string ExtractFilePath(std::string_view path);
// The name part, behind the last path or drive delimiter.
std::string ExtractFileName(std::string_view path);
// The path with its extension replaced by ext, or ext appended when it has none.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// ---- Files ------------------------------------------------------------------------
// Open modes of FileOpen and TFileStream: access in the low nibble, sharing above.
constexpr Cardinal fmOpenRead = 0x0000;
constexpr Cardinal fmOpenWrite = 0x0001;
constexpr Cardinal fmOpenReadWrite = 0x0002;
constexpr Cardinal fmShareExclusive = 0x0010;
constexpr Cardinal fmShareDenyWrite = 0x0020;
constexpr Cardinal fmShareDenyRead = 0x0030;
constexpr Cardinal fmShareDenyNone = 0x0040;

// The process's current folder; empty when it cannot be told.
std::string GetCurrentDir();

// True only for an existing file (not a folder) whose last-write time lies within
// the packed DOS date range (1980 to 2107).
bool FileExists(std::string_view path);
// Opens an existing file; a handle greater than 0, or a value below 1 on failure.
THandle FileOpen(std::string_view path, Cardinal mode);
void FileClose(THandle handle);
// Reads up to count bytes; the count read, or -1 on failure.
std::int64_t FileRead(THandle handle, void* buffer, std::int64_t count);
// Moves to offset from origin (0 start, 1 current, 2 end); the new position or -1.
std::int64_t FileSeek(THandle handle, std::int64_t offset, int origin);
// The last-write time as a packed local DOS date and time; -1 on failure.
Integer FileGetDate(THandle handle);
// Sets the last-write time from a packed local DOS date and time; 0 on success,
// an error code when the value names no valid date or the platform refuses.
Integer FileSetDate(THandle handle, Integer age);

// ---- Directory search ---------------------------------------------------------------
// Entry attributes of a search and its attribute mask.
constexpr Integer faReadOnly = 0x01;
constexpr Integer faHidden = 0x02;
constexpr Integer faSysFile = 0x04;
constexpr Integer faVolumeID = 0x08;
constexpr Integer faDirectory = 0x10;
constexpr Integer faArchive = 0x20;
constexpr Integer faAnyFile = 0x3F;

struct TSearchRec {
  Integer Time = 0;  // the last-write time as a packed local DOS date and time (0 outside 1980..2107)
  std::int64_t Size = 0;
  Integer Attr = 0;
  std::string Name;  // the entry's name as the file system stores it
  Integer ExcludeAttr = 0;
  THandle FindHandle = INVALID_HANDLE_VALUE;
};

// Starts a search for path (a name or a "*"/"?" pattern as its last component).
// Entries with hidden, system, volume or directory attributes outside attr are
// passed over. 0 with the first entry in F, or an error code (F then holds no
// search).
Integer FindFirst(std::string_view path, Integer attr, TSearchRec& F);
// 0 with the next entry in F, or an error code.
Integer FindNext(TSearchRec& F);
// Ends the search and releases its handle; harmless when none is open.
void FindClose(TSearchRec& F);

// ---- Program ------------------------------------------------------------------------
// The program's command-line parameters, numbered from 1; ParamStr(0) is the
// program file's path.
int ParamCount();
std::string ParamStr(int index);
