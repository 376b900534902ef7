// The main window: a modeless dialog from template 101 of the class the application registers.
#pragma once

#include <windows.h>

constexpr const char* main_window_class = "MainDlgClass-{102394812}";

// Posted by the notification area (and by the window itself) for the tray icon.
constexpr UINT WM_TRAY_ICON = 3772;

INT_PTR CALLBACK DlgProcMain(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
