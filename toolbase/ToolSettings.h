// The four settings every tool keeps in the INI file beside its program file:
// the window position, the close-after-processing switch and the JPEG quality.
// Each tool's settings unit keeps its own variables and hands them in here, so
// that the keys, their defaults and their order are the same in every tool.
#pragma once
#include <string>

#include "classlib/IniFiles.h"
#include "classlib/SysUtils.h"

// What each of the four holds when the file gives nothing: at start-up and for
// a key missing or unreadable.
constexpr Integer kDefaultPosTop = 50;
constexpr Integer kDefaultPosLeft = 50;
constexpr Integer kDefaultModeClose = 1;
constexpr Integer kDefaultJpegComp = 66;

// The program file's path with the extension ".INI", formed afresh at every use.
std::string ToolSettingsFileName();

// Reads "Pos"/"Top", "Pos"/"Left", "Mode"/"Close" and "Jpeg"/"Comp" in this
// order; missing or unreadable values give the defaults above.
void ReadToolSettings(TIniFile& ini, Integer& PosTop, Integer& PosLeft, Integer& ModeClose,
                      Integer& JpegComp);
// Writes the four keys in the same order; a write the file refuses raises
// Exception "%s に書き込めません", the keys written before it staying written.
void WriteToolSettings(TIniFile& ini, Integer PosTop, Integer PosLeft, Integer ModeClose,
                       Integer JpegComp);
