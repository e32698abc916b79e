#include "rotate/Rw_ini.h"

#include <memory>

#include "classlib/IniFiles.h"
#include "platform/Module.h"

Integer PosTop = 50;
Integer PosLeft = 50;
Integer ModeClose = 1;
Integer JpegComp = 66;

namespace {
// The program file's path with the extension ".INI", formed afresh at every use.
std::string SettingsFileName() { return ChangeFileExt(ModuleFileName(), ".INI"); }
}  // namespace

void ReadSettings() {
  auto ini = std::make_unique<TIniFile>(SettingsFileName());
  PosTop = ini->ReadInteger("Pos", "Top", 50);
  PosLeft = ini->ReadInteger("Pos", "Left", 50);
  ModeClose = ini->ReadInteger("Mode", "Close", 1);
  JpegComp = ini->ReadInteger("Jpeg", "Comp", 66);
}

void WriteSettings() {
  auto ini = std::make_unique<TIniFile>(SettingsFileName());
  ini->WriteInteger("Pos", "Top", PosTop);
  ini->WriteInteger("Pos", "Left", PosLeft);
  ini->WriteInteger("Mode", "Close", ModeClose);
  ini->WriteInteger("Jpeg", "Comp", JpegComp);
}
