// Windows with window procedures and the GUI thread's message queue.
//
// A window here is a registry entry: a handle, a chain of window procedures
// (the current one in GWL_WNDPROC) and a user-data slot. It has no pixels; the
// class library pairs each of its windowed controls with one of these and
// turns the real (Qt) events into messages for it. Everything runs on the one
// GUI thread; the queue is guarded anyway so that a worker may post.
#pragma once
#include "platform/WinTypes.h"

// Creates a window whose procedure is proc and whose GWL_USERDATA slot holds
// userData. Handles are never reused, so a stale handle fails IsWindow.
HWND CreateWindowExA(WNDPROC proc, LONG_PTR userData);
// Sends WM_DESTROY through the window's procedure chain, then forgets the
// window: its drop registration and the messages still posted to it are
// dropped (a pending WM_DROPFILES has its drop handle released). FALSE for a
// handle that names no window.
BOOL DestroyWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);

// GWL_WNDPROC (the current procedure, as a LONG_PTR) or GWL_USERDATA; 0 for an
// unknown window or slot. SetWindowLongA returns the former value.
LONG_PTR GetWindowLongA(HWND hWnd, int nIndex);
LONG_PTR SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);

// Calls a procedure of the chain (0 when proc is null).
LRESULT CallWindowProcA(WNDPROC proc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// The end of every chain: does nothing and returns 0.
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Calls the window's current procedure at once and returns its result; 0 for
// a handle that names no window.
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Appends a message to the queue (hWnd may be null: a thread message). FALSE
// when hWnd is not null and names no window. Wakes the waiting loop.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Asks the loop to end: WM_QUIT (wParam = exit code) is returned by
// PeekMessageA/GetMessageA once no other posted message is waiting.
void PostQuitMessage(int nExitCode);

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
// Takes (or looks at) the oldest posted message; FALSE when none is waiting.
// hWnd and the filter range are accepted for the classic signature; a null
// hWnd and 0, 0 take every message.
BOOL PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// Waits for a message (through the wait hook when one is installed, else for
// another thread's post) and takes it; returns 0 for WM_QUIT, else nonzero.
BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
// Hands a message to its window's current procedure; 0 for a thread message
// or a window that no longer exists.
LRESULT DispatchMessageA(const MSG* lpMsg);

// Whether a quit has been asked for and not yet taken from the queue.
bool QuitPending();
// How many posted messages wait (WM_QUIT not counted).
std::size_t PendingMessageCount();
// Drops every posted message and a pending quit (test support and shutdown);
// drop handles of pending WM_DROPFILES are released.
void ClearMessageQueue();

// Called after every post, so that the GUI toolkit's blocking wait returns and
// the loop looks at this queue. Installed by the class library's Qt bridge.
using TWakeHook = void (*)();
void SetMessageWakeHook(TWakeHook hook);
// Called by GetMessageA while the queue is empty: waits for something to happen
// (the toolkit's blocking event wait). Without one GetMessageA sleeps until a post.
using TWaitHook = void (*)();
void SetMessageWaitHook(TWaitHook hook);
