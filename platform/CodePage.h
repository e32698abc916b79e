// The platform's ANSI code page and path delimiters. Path routines are written
// against these rules, so the same code splits paths right on a platform with
// "\" and ":" as delimiters and a double-byte code page.
#pragma once
#include "platform/WinTypes.h"

struct TPathRules {
  char PathDelim;   // the folder separator
  char DriveDelim;  // the drive separator, or 0 where there is none
  bool (*IsLeadByte)(BYTE b);  // whether b opens a double-byte character
};

// UTF-8 paths with "/" (this platform): no byte of a multi-byte character is
// ASCII, so no lead byte can hide a delimiter.
extern const TPathRules LinuxPathRules;
// Shift-JIS paths with "\" and ":" (the classic platform), for tests.
extern const TPathRules ShiftJisPathRules;

const TPathRules& PathRules();
// Switches the rules for the whole process; returns the previous ones.
TPathRules SetPathRules(const TPathRules& rules);

inline bool IsDBCSLeadByte(BYTE b) { return PathRules().IsLeadByte(b); }
