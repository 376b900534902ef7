// The main window: a modeless dialog from template IDD_MAIN of the class MAIN_WINDOW_CLASS
// (res/resource.h), which the application registers.
#pragma once

#include <windows.h>

INT_PTR CALLBACK DlgProcMain(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
