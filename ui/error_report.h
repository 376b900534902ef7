// Errors that reach the top of a thread or of a window procedure are shown like this: the
// exception's text, or "Системная ошибка" for anything else, in a box captioned "Ошибка".
#pragma once

#include "support/exception.h"

#include <windows.h>

void show_error(const ex::c_exception& e, HWND owner = nullptr);
void show_system_error(HWND owner = nullptr);

// Runs a window procedure's work so that no exception crosses the system's message dispatch.
template <class Body> INT_PTR guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const ex::c_exception& e) {
        show_error(e);
    } catch (...) {
        show_system_error();
    }
    return 0;
}
