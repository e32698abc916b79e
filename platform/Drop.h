// Shell drops: windows registered as drop targets, and drop handles that carry
// the dropped paths and the drop point to a WM_DROPFILES handler.
#pragma once
#include <string>
#include <vector>

#include "platform/WinTypes.h"

// Registers (TRUE) or withdraws (FALSE) a window as a target for file drops.
void DragAcceptFiles(HWND hWnd, BOOL fAccept);
// Whether the window is registered and exists.
bool WindowAcceptsDrops(HWND hWnd);

// Makes a drop handle holding paths (byte strings, order kept) and the drop
// point in client coordinates. The receiver of WM_DROPFILES owns it and
// releases it with DragFinish.
HDROP CreateDropHandle(const std::vector<std::string>& paths, POINT clientPoint);

// iFile 0xFFFFFFFF: the number of files (the buffer is not touched). Otherwise
// the length of that path without its null when lpszFile is null; else the
// path copied, cut to cch bytes including the terminating null, and the number
// of bytes copied without the null. 0 for an unknown handle or index.
UINT DragQueryFileA(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch);
// The drop point in client coordinates; FALSE (point untouched) for an unknown handle.
BOOL DragQueryPoint(HDROP hDrop, POINT* lppt);
// Releases the handle; an unknown or released handle is ignored.
void DragFinish(HDROP hDrop);

// Drop handles made and not yet released (test support: every drop is released).
std::size_t OpenDropHandleCount();
