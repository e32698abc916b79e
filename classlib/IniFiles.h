// IniFiles unit: TIniFile, a settings file reached by its name through the
// platform's private-profile functions. The object holds only the name; every
// read and write goes to the file anew.
#pragma once
#include <string>

#include "classlib/Classes.h"

class TIniFile : public TObject {
 public:
  // Keeps the name; touches no file and cannot fail.
  explicit TIniFile(const std::string& fileName) : FFileName(fileName) {}
  const std::string& FileName() const { return FFileName; }

  // The key's value as an integer, or defaultValue for a missing file, section
  // or key and for a value that is not an integer. Never fails.
  Integer ReadInteger(const std::string& section, const std::string& ident, Integer defaultValue);
  // The key's value (at most 2047 bytes), or defaultValue when the key is missing.
  std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue);
  // Write the value; a write the platform refuses raises Exception
  // "%s に書き込めません" with the file's name.
  void WriteInteger(const std::string& section, const std::string& ident, Integer value);
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);

 private:
  std::string FFileName;
};
