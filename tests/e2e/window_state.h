// Which client state the main window shows, read from outside the program the way a user sees
// it: by which of its buttons can be pressed and whether the warning badge is up. The e2e tests
// and the screenshot helper (tools/screenshots) read it alike.
#pragma once

#include <windows.h>

namespace e2e {

enum shown_state : int { shows_other = -1, shows_idle, shows_busy, shows_error, shows_authorised };

// The client state that the buttons and the warning badge of the main window show, or
// shows_other when they match no state.
int state_shown(HWND main);
// "idle", "busy", "error", "authorised", or "no state".
const char* state_name(int state);

bool control_enabled(HWND main, int id);
// The control's own visibility flag, whatever the window's.
bool control_shown(HWND main, int id);

} // namespace e2e
