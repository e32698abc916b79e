#include "thumb/Rw_ini.h"

#include <memory>

#include "classlib/IniFiles.h"
#include "toolbase/ToolSettings.h"

Integer PosTop = 50;
Integer PosLeft = 50;
Integer ModeClose = 1;
Integer JpegComp = 66;
Integer ThumbMax = 64;
std::string ThumbChar = "$_";

void ReadSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  ReadToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
  ThumbMax = ini->ReadInteger("Thumb", "Max", 64);
  // The default stands in only for a missing key; an empty value is an empty prefix.
  ThumbChar = ini->ReadString("Thumb", "Char", "$_");
}

void WriteSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  WriteToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
  ini->WriteInteger("Thumb", "Max", ThumbMax);
  ini->WriteString("Thumb", "Char", ThumbChar);
}
