// Basic types, handles and constants of the platform layer. The system's code is
// written against these names; this layer maps them onto Linux.
#pragma once
#include <cstdint>
#include <cstddef>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

struct HWND__;
using HWND = HWND__*;
struct HDROP__;
using HDROP = HDROP__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
struct HBITMAP__;
using HBITMAP = HBITMAP__*;
struct HPALETTE__;
using HPALETTE = HPALETTE__*;

// File handles are small positive integers (a descriptor plus one); 0 and below
// mean "no handle", the way the runtime's FileOpen reports failure.
using THandle = std::intptr_t;
constexpr THandle INVALID_HANDLE_VALUE = -1;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Window messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_DROPFILES = 0x0233;
constexpr UINT WM_USER = 0x0400;

constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;

// Window data slots.
constexpr int GWL_WNDPROC = -4;
constexpr int GWL_USERDATA = -21;

// Show commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

// The longest path the platform passes around, terminating null included.
constexpr std::size_t MAX_PATH_BYTES = 4096;
