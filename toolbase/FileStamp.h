// The last-write time of a file as both tools keep it: read and set through a
// handle opened for writing with every sharing allowed, so that a file the tool
// could not write over keeps no time to carry over.
#pragma once
#include <string>

#include "classlib/SysUtils.h"

// The last-write time (packed DOS date and time) of the file at path: 0 when the
// file cannot be opened for writing (read-only, or held without write sharing),
// -1 when it opens but its time cannot be read.
Integer ReadFileStamp(const std::string& path);

// Gives the file at path the last-write time stamp; nothing when the file cannot
// be opened for writing or the stamp names no date (0 and -1 among them).
void SetFileStamp(const std::string& path, Integer stamp);
