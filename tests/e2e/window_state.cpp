#include "tests/e2e/window_state.h"

#include "res/resource.h"

namespace e2e {

bool control_enabled(HWND main, int id) {
    return IsWindowEnabled(GetDlgItem(main, id)) != FALSE;
}

bool control_shown(HWND main, int id) {
    return (GetWindowLongA(GetDlgItem(main, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

int state_shown(HWND main) {
    const bool connect = control_enabled(main, IDC_CONNECT);
    const bool disconnect = control_enabled(main, IDC_DISCONNECT);
    const bool properties = control_enabled(main, IDC_PROPERTIES);
    const bool password = control_enabled(main, IDC_PASSWORD);
    const bool badge = control_shown(main, IDC_BADGE);
    const bool editable = connect && properties && password;
    const bool locked = !connect && !properties && !password;
    if (editable && !disconnect && !badge)
        return shows_idle;
    if (locked && !disconnect && !badge)
        return shows_busy;
    if (locked && disconnect)
        return badge ? shows_error : shows_authorised;
    return shows_other;
}

const char* state_name(int state) {
    switch (state) {
    case shows_idle:
        return "idle";
    case shows_busy:
        return "busy";
    case shows_error:
        return "error";
    case shows_authorised:
        return "authorised";
    default:
        return "no state";
    }
}

} // namespace e2e
