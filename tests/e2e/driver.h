// Drives the real AuthClient.exe from outside, as another process of the same Wine prefix: starts
// it, finds its windows, reads and presses its controls. Every wait has a deadline.
#pragma once

#include "res/resource.h"
#include "tests/common/process.h"
#include "tests/common/process_windows.h"
#include "tests/e2e/window_state.h"

#include <windows.h>

#include <optional>
#include <string>

namespace e2e {

// The program under test, as a Windows path.
std::string program_path();

// One run of the program, with its windows.
class client_process : public test::process {
public:
    // Runs `program` with the command line `"program" arguments` in `folder` (empty: ours).
    explicit client_process(const std::string& arguments, const std::string& folder = "",
                            const std::string& program = program_path())
        : test::process(program, arguments, folder) {}

    // The main window (it exists hidden too), or null if none appeared in time.
    HWND main_window(DWORD timeout_ms = 30000) const;

    // A visible error box ("Ошибка") of this process, or null.
    HWND error_box() const { return test::error_box_of(id()); }
    HWND wait_error_box(DWORD timeout_ms) const { return test::find_error_box(timeout_ms, id()); }
};

bool checked(HWND main, int id);
std::string control_text(HWND main, int id);
// A click on a button (the control handles it as the user's click).
void click(HWND main, int id);

// What the system sends at logoff or shutdown: WM_QUERYENDSESSION, then WM_ENDSESSION with
// `ending` (false: another program refused, the session goes on). Returns the answer to the
// query, once both have been handled.
LRESULT end_session(HWND main, bool ending);

// How many strongly coloured pixels the screen shows in the right third of the picture (where
// the globe is): the connected picture's globe is blue and green, the other one grey. Nothing
// when the screen cannot be read or another window covers that part.
std::optional<int> coloured_globe_pixels(HWND main);

} // namespace e2e
