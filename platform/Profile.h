// Private-profile (INI) files: "[Section]" lines followed by "key=value" lines.
// Section and key names match without regard to letter case; blanks around names
// and values do not count; a value enclosed in one pair of double quotes is read
// without them. Writing changes only the line of the key written (or adds one, and
// its section when missing) and leaves every other byte of the file as it was.
#pragma once
#include "platform/WinTypes.h"

// Copies the value of key in section into buffer (at most size-1 bytes and a
// terminating null), or defaultValue when the file, the section or the key is
// missing. Returns the number of bytes copied, null excluded. Never fails.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                               DWORD size, const char* fileName);

// Sets key in section to value, creating the key, its section and the file as
// needed. The file is replaced as a whole (a new file in the same folder, renamed
// over the old one), so a failing write leaves the former file intact; in a folder
// that may not be written, a file that may be is written in place. A file whose
// text would stay the same is not written at all. Returns 0 on failure: a read-only file or one this user may not write, a new file in a folder
// that cannot be written, a name or value that would break the file's line
// structure.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName);
