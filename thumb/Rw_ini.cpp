#include "thumb/Rw_ini.h"

#include <memory>

#include "classlib/IniFiles.h"
#include "toolbase/ToolSettings.h"

namespace {
constexpr Integer kDefaultThumbMax = 64;
constexpr const char* kDefaultThumbChar = "$_";
}  // namespace

Integer PosTop = kDefaultPosTop;
Integer PosLeft = kDefaultPosLeft;
Integer ModeClose = kDefaultModeClose;
Integer JpegComp = kDefaultJpegComp;
Integer ThumbMax = kDefaultThumbMax;
std::string ThumbChar = kDefaultThumbChar;

void ReadSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  ReadToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
  ThumbMax = ini->ReadInteger("Thumb", "Max", kDefaultThumbMax);
  // The default stands in only for a missing key; an empty value is an empty prefix.
  ThumbChar = ini->ReadString("Thumb", "Char", kDefaultThumbChar);
}

void WriteSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  WriteToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
  ini->WriteInteger("Thumb", "Max", ThumbMax);
  ini->WriteString("Thumb", "Char", ThumbChar);
}
