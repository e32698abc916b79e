file(READ "${IN}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUT}" "// Generated from ${IN}; do not edit.\n#include \"classlib/Resources.h\"\n"
  "namespace {\nconst unsigned char data[] = {${bytes} 0x00};\n"
  "const bool registered = RegisterFormResource(\"${NAME}\", "
  "std::string_view(reinterpret_cast<const char*>(data), sizeof data - 1));\n}\n")
