// The process's entry: one application object, the main window, the message loop.
#include "app/application.h"
#include "app/dll_search.h"
#include "res/resource.h"
#include "support/system_error.h"
#include "ui/error_report.h"
#include "ui/main_window.h"

#include <windows.h>

#include <string>
#include <utility>

void c_application::run() {
    const HWND window =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, DlgProcMain, 0);
    // The window took itself down; what stopped it is reported like any start-up error.
    if (start_failure) {
        if (window && IsWindow(window))
            DestroyWindow(window);
        std::rethrow_exception(std::exchange(start_failure, nullptr));
    }
    if (!window)
        EX_RAISE(c_exception, "'CreateDialog' failed.\n" + system_error_text(GetLastError()));

    // Plain substring search over the whole command line, program path included.
    const std::string command_line = GetCommandLineA();
    if (command_line.find("--tray") == std::string::npos)
        ShowWindow(window, SW_SHOW);
    if (command_line.find("--connect") != std::string::npos) {
        char password[254] = {};
        GetDlgItemTextA(window, IDC_PASSWORD, password, sizeof password);
        if (password[0] != '\0')
            SendMessageA(window, WM_COMMAND, IDC_CONNECT, 0); // as a click on "Подключить"
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    restrict_dll_search();
    try {
        app = std::make_unique<c_application>(instance);
        app->run();
    } catch (const ex::c_exception& e) {
        show_error(e);
    } catch (...) {
        show_system_error();
    }
    app.reset();
    return 1;
}
