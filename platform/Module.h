// The running program's file.
#pragma once
#include <string>

#include "platform/WinTypes.h"

// The full path of the program file (module 0 only), as it was when the program
// started, also after the file has been removed or replaced. Copies it with its
// terminating null into buffer; a path that does not fit is cut to size-1 bytes
// and size is returned. The length copied, or 0 on failure.
DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD size);
// The same as a string; empty on failure.
std::string ModuleFileName();
// For tests: the path to report instead of the real one; an empty path restores
// the real one. Tests run as parallel processes, so each can point its settings
// file into its own temporary folder.
void SetModuleFileNameForTest(const std::string& path);
