// What the client tells the main window, and the states it reports.
#pragma once

#include <windows.h>

#include <string>

namespace auth {

// lParam: the new client state.
constexpr UINT WM_CLIENT_STATE = WM_USER + 273;
// lParam: a server_info*, valid only while the message is handled.
constexpr UINT WM_SERVER_INFO = WM_USER + 274;

enum client_state : int {
    idle = 0,       // no worker runs
    busy = 1,       // first authorization or disconnect exchange; every failure is fatal
    error = 2,      // an exchange after a success failed; the worker keeps retrying
    authorised = 3, // the server accepted the encrypted random message
};

// A message from the server to the subscriber: three UTF-8 byte strings.
struct server_info {
    std::string header;
    std::string data;
    std::string params;
};

} // namespace auth
