// Settings unit of the thumbnail tool: the rotation tool's four settings plus the
// thumbnail's long side and file-name prefix (section "Thumb").
#pragma once
#include <string>

#include "classlib/SysUtils.h"

// The settings, living from start-up to exit.
extern Integer PosTop;
extern Integer PosLeft;
extern Integer ModeClose;
extern Integer JpegComp;
extern Integer ThumbMax;
extern std::string ThumbChar;

// Sets the six settings from the file; missing or unreadable values give defaults.
void ReadSettings();
// Writes the six settings; raises Exception "%s に書き込めません" when the file
// refuses a write (the keys written before it stay written).
void WriteSettings();
