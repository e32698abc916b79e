// Settings unit of the rotation tools: the window position, the close-after-
// processing switch and the JPEG quality, kept in the INI file beside the program.
#pragma once
#include "classlib/SysUtils.h"

// The settings, living from start-up to exit.
extern Integer PosTop;
extern Integer PosLeft;
extern Integer ModeClose;
extern Integer JpegComp;

// Sets the four settings from the file; missing or unreadable values give defaults.
void ReadSettings();
// Writes the four settings; raises Exception "%s に書き込めません" when the file
// refuses a write (the keys written before it stay written).
void WriteSettings();
