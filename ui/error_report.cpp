#include "ui/error_report.h"

void show_error(const ex::c_exception& e, HWND owner) {
    MessageBoxA(owner, e.text().c_str(), "Ошибка", MB_ICONERROR);
}

void show_system_error(HWND owner) {
    MessageBoxA(owner, "Системная ошибка", "Ошибка", MB_ICONERROR);
}
