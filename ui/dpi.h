// What a window draws for its display's scale: its DPI, the pictures and icons made for that
// DPI, and the move to another monitor's scale. The calls that came with per-monitor scaling
// (Windows 10) are looked up at run time, so the program still starts on Windows 7, where
// every window has the system's DPI.
#pragma once

#include <windows.h>

// Posted by a window to itself on WM_DPICHANGED. By the time it arrives the system has given
// the controls the dialog font for the new DPI, and the window derives its own fonts again.
constexpr UINT WM_DPI_FONTS = WM_APP + 1;

// Windows 10's message to a child window after its parent moved to another DPI (the program
// builds for Windows 7, whose headers lack it).
constexpr UINT WM_DPICHANGED_AFTER_PARENT = 0x02E3;

// The window's DPI: GetDpiForWindow where it exists, else (and for no window) the system's.
UINT window_dpi(HWND window);

// A system metric as it is at `dpi`: GetSystemMetricsForDpi where it exists, else the
// system's metric scaled from the system DPI.
int metric_for_dpi(int index, UINT dpi);

// The variant of `picture` (its 100 % resource number) drawn for `dpi`; null when it is
// missing.
HBITMAP load_picture(HINSTANCE instance, int picture, UINT dpi);

// Puts `picture` into the bitmap static `control` of `window`, which keeps it from then on,
// and releases the picture that the static showed before.
void show_picture(HWND window, int control, HBITMAP picture);

// Takes the picture back from the static and releases it: before the window goes.
void release_picture(HWND window, int control);

// The icon resource `icon` at `size` pixels, from its image of that size when it has one.
HICON load_icon(HINSTANCE instance, int icon, int size);

// The window's caption and task-switcher icons at the sizes for `dpi`; the icons set before
// are released. release_window_icons takes them back and releases them, before the window
// goes.
void set_window_icons(HWND window, HINSTANCE instance, int icon, UINT dpi);
void release_window_icons(HWND window);

// Handles the part of WM_DPICHANGED that every window shares: moves the window to the
// rectangle that the system suggests and posts WM_DPI_FONTS. Returns the new DPI.
UINT take_dpi_change(HWND window, WPARAM wparam, LPARAM lparam);
