#include "platform/CodePage.h"

namespace {
bool NoLeadByte(BYTE) { return false; }
bool ShiftJisLeadByte(BYTE b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
TPathRules current{'/', 0, NoLeadByte};
}  // namespace

const TPathRules LinuxPathRules{'/', 0, NoLeadByte};
const TPathRules ShiftJisPathRules{'\\', ':', ShiftJisLeadByte};

const TPathRules& PathRules() { return current; }

TPathRules SetPathRules(const TPathRules& rules) {
  TPathRules old = current;
  current = rules;
  return old;
}
