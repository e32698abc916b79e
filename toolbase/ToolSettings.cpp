#include "toolbase/ToolSettings.h"

#include "platform/Module.h"

std::string ToolSettingsFileName() { return ChangeFileExt(ModuleFileName(), ".INI"); }

void ReadToolSettings(TIniFile& ini, Integer& PosTop, Integer& PosLeft, Integer& ModeClose,
                      Integer& JpegComp) {
  PosTop = ini.ReadInteger("Pos", "Top", kDefaultPosTop);
  PosLeft = ini.ReadInteger("Pos", "Left", kDefaultPosLeft);
  ModeClose = ini.ReadInteger("Mode", "Close", kDefaultModeClose);
  JpegComp = ini.ReadInteger("Jpeg", "Comp", kDefaultJpegComp);
}

void WriteToolSettings(TIniFile& ini, Integer PosTop, Integer PosLeft, Integer ModeClose,
                       Integer JpegComp) {
  ini.WriteInteger("Pos", "Top", PosTop);
  ini.WriteInteger("Pos", "Left", PosLeft);
  ini.WriteInteger("Mode", "Close", ModeClose);
  ini.WriteInteger("Jpeg", "Comp", JpegComp);
}
