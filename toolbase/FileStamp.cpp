#include "toolbase/FileStamp.h"

Integer ReadFileStamp(const std::string& path) {
  Integer stamp = 0;
  const THandle h = FileOpen(path, fmOpenWrite | fmShareDenyNone);
  if (h > 0) {
    stamp = FileGetDate(h);
    FileClose(h);
  }
  return stamp;
}

void SetFileStamp(const std::string& path, Integer stamp) {
  const THandle h = FileOpen(path, fmOpenWrite | fmShareDenyNone);
  if (h > 0) {
    FileSetDate(h, stamp);
    FileClose(h);
  }
}
