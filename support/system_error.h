// The system's own message for a Windows error code (Windows only).
#pragma once

#include <cstdint>
#include <string>

// Empty for 0 and for codes without a message; otherwise the text as the system gives it,
// in the ANSI code page and with its line break at the end.
std::string system_error_text(std::uint32_t code);
