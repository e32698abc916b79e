// Shell services: handing an address or a document to the desktop's opener.
#pragma once
#include "platform/WinTypes.h"

// Results of ShellExecuteA at or below 32 name the failure.
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int SE_ERR_NOASSOC = 31;

// The desktop's window: a fixed handle that is never a window of ours.
HWND GetDesktopWindow();

// Hands file (an address such as "mailto:..." or "http://...") to the desktop's
// opener, xdg-open found on PATH, without waiting for the program it starts.
// Only the verb "open" (or none) is known. Returns a value greater than 32 when
// the opener was started, 32 or less when it could not be. parameters and
// showCommand are accepted for the caller's sake; directory, when given, is the
// opener's working folder.
HINSTANCE ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters,
                        const char* directory, int showCommand);
