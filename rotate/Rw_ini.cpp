#include "rotate/Rw_ini.h"

#include <memory>

#include "classlib/IniFiles.h"
#include "toolbase/ToolSettings.h"

Integer PosTop = 50;
Integer PosLeft = 50;
Integer ModeClose = 1;
Integer JpegComp = 66;

void ReadSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  ReadToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
}

void WriteSettings() {
  auto ini = std::make_unique<TIniFile>(ToolSettingsFileName());
  WriteToolSettings(*ini, PosTop, PosLeft, ModeClose, JpegComp);
}
