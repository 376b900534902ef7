// Texts of the program's string table (Windows only).
#pragma once

#include <windows.h>

#include <string>

// The entry in the ANSI code page, at most 1023 characters; empty when there is none.
std::string load_text(HINSTANCE instance, UINT id);
