// The one application object: refuses a second copy, prepares the platform, and owns the
// environment, the client and the tray icon that the main window builds.
#pragma once

#include "support/exception.h"

#include <windows.h>

#include <exception>
#include <memory>

namespace auth {
class c_client;
}
namespace env {
class c_env;
}
class c_tray_icon;

class c_application {
public:
    class c_exception : public ex::c_exception {};

    // Held by the running copy; a second copy that finds it refuses to start.
    static constexpr const char* instance_mutex_name = "{39289EAC-7A67-5688-8359-AB65230FDEA1}";

    explicit c_application(HINSTANCE instance);
    ~c_application();
    c_application(const c_application&) = delete;
    c_application& operator=(const c_application&) = delete;

    // Creates the main window, applies "--tray" and "--connect", runs the message loop.
    void run();

    // Installed by the main window while it initialises.
    std::unique_ptr<c_tray_icon> tray_icon;
    std::unique_ptr<auth::c_client> client;
    std::unique_ptr<env::c_env> environment;
    HINSTANCE instance;
    HANDLE instance_mutex = nullptr;
    // What stopped the main window while it initialised; `run` reports it once the window
    // has gone.
    std::exception_ptr start_failure;
};

// The process's application object; empty before WinMain fills it and after it returns.
extern std::unique_ptr<c_application> app;
