#include "toolbase/ToolSettings.h"

#include "platform/Module.h"

std::string ToolSettingsFileName() { return ChangeFileExt(ModuleFileName(), ".INI"); }

void ReadToolSettings(TIniFile& ini, Integer& PosTop, Integer& PosLeft, Integer& ModeClose,
                      Integer& JpegComp) {
  PosTop = ini.ReadInteger("Pos", "Top", 50);
  PosLeft = ini.ReadInteger("Pos", "Left", 50);
  ModeClose = ini.ReadInteger("Mode", "Close", 1);
  JpegComp = ini.ReadInteger("Jpeg", "Comp", 66);
}

void WriteToolSettings(TIniFile& ini, Integer PosTop, Integer PosLeft, Integer ModeClose,
                       Integer JpegComp) {
  ini.WriteInteger("Pos", "Top", PosTop);
  ini.WriteInteger("Pos", "Left", PosLeft);
  ini.WriteInteger("Mode", "Close", ModeClose);
  ini.WriteInteger("Jpeg", "Comp", JpegComp);
}
