#include "classlib/IniFiles.h"

#include "platform/Profile.h"

namespace {
constexpr DWORD kValueBufferSize = 2048;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) {
  char buffer[kValueBufferSize];
  GetPrivateProfileStringA(section.c_str(), ident.c_str(), defaultValue.c_str(), buffer, sizeof buffer,
                           FFileName.c_str());
  return buffer;
}

Integer TIniFile::ReadInteger(const std::string& section, const std::string& ident, Integer defaultValue) {
  std::string text = ReadString(section, ident, "");
  // The settings file may carry C-style hexadecimal.
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
  Integer value;
  return TryStrToInt(text, value) ? value : defaultValue;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  if (!WritePrivateProfileStringA(section.c_str(), ident.c_str(), value.c_str(), FFileName.c_str()))
    throw Exception(Format("%s に書き込めません", FFileName.c_str()));
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, Integer value) {
  WriteString(section, ident, IntToStr(value));
}
