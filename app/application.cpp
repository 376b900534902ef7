#include "app/application.h"

#include "auth/client.h"
#include "env/env.h"
#include "res/resource.h"
#include "support/system_error.h"
#include "ui/main_window.h"
#include "ui/tray_icon.h"

#include <commctrl.h>
#include <winsock2.h>

std::unique_ptr<c_application> app;

c_application::c_application(HINSTANCE instance_handle) : instance(instance_handle) {
    instance_mutex = CreateMutexA(nullptr, FALSE, instance_mutex_name);
    // A copy running with other rights (elevated, say) holds a mutex this one may not open.
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || (!instance_mutex && error == ERROR_ACCESS_DENIED))
        EX_RAISE(c_exception, "Клиент авторизации уже запущен.");

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = 8;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);

    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = DefDlgProcA;
    window_class.cbWndExtra = DLGWINDOWEXTRA;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    window_class.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = MAIN_WINDOW_CLASS;
    if (!RegisterClassExA(&window_class))
        EX_RAISE(c_exception, "'RegisterClassEx' failed.\n" + system_error_text(GetLastError()));

    WSADATA data;
    if (const int error = WSAStartup(0x0002, &data))
        EX_RAISE(c_exception,
                 "Can't initialize WinSock.\n" + system_error_text(static_cast<DWORD>(error)));
}

c_application::~c_application() {
    if (instance_mutex)
        CloseHandle(instance_mutex);
    // A worker that did not stop within the close's wait must not reach the environment,
    // which goes first.
    if (client)
        client->release_environment();
    environment.reset();
    client.reset();
    tray_icon.reset();
    // Only now: a worker still inside a socket call would have it cancelled under its feet.
    // The client is gone, so its worker has ended or been detached and tells nobody.
    WSACleanup();
}
