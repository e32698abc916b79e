#include "rotate/Rw_ini.h"

#include <memory>

#include "classlib/IniFiles.h"
#include "toolbase/ToolSettings.h"

Integer PosTop = kDefaultPosTop;
Integer PosLeft = kDefaultPosLeft;
Integer ModeClose = kDefaultModeClose;
Integer JpegComp = kDefaultJpegComp;

void ReadSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  ReadToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
}

void WriteSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  WriteToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
}
