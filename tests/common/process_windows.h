// Top-level windows of this process or of a program running beside it, found from outside: a
// window by its class, and the program's error boxes (a message box captioned "Ошибка").
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace test {

std::string window_class(HWND window);

// A top-level window of `process` whose class is `class_name` (in any case, as the system
// compares class names), or null.
HWND window_of(DWORD process, const char* class_name);

// A visible error box of `process`, or null.
HWND error_box_of(DWORD process);

// Waits for an error box of `process`, handling this thread's messages; null if none came.
HWND find_error_box(DWORD timeout_ms = 15000, DWORD process = GetCurrentProcessId());

// The message of a box, also of another process (a hung one gives an empty text).
std::string error_box_text(HWND box);

// Presses OK on a box; true once it has gone.
bool press_ok(HWND box, DWORD timeout_ms = 10000);

// Finds an error box of this process, returns its text and presses OK.
std::optional<std::string> take_error_box(DWORD timeout_ms = 15000);

} // namespace test
