#include "support/system_error.h"

#include <windows.h>

std::string system_error_text(std::uint32_t code) {
    if (code == 0)
        return std::string();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer),
        0, nullptr);
    if (length == 0 || buffer == nullptr)
        return std::string();
    std::string text(buffer, length);
    LocalFree(buffer);
    return text;
}
