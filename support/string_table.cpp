#include "support/string_table.h"

std::string load_text(HINSTANCE instance, UINT id) {
    char buffer[1024] = {};
    const int length = LoadStringA(instance, id, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}
