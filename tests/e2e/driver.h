// Drives the real AuthClient.exe from outside, as another process of the same Wine prefix: starts
// it, finds its windows, reads and presses its controls, and reads the settings it keeps in the
// current user's registry. Every wait has a deadline.
#pragma once

#include "res/resource.h"
#include "support/win_handle.h"
#include "tests/e2e/window_state.h"

#include <windows.h>

#include <optional>
#include <string>

namespace e2e {

// Wine maps the Unix file system onto drive Z:.
std::string windows_path(const std::string& unix_path);

// The program under test, as a Windows path.
std::string program_path();

// A folder of its own under the temporary folder; removed with what it holds.
class temp_folder {
public:
    explicit temp_folder(const std::string& name);
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// One run of the program. The destructor kills it if it still runs, so a failed test leaves
// nothing behind that would hold the single-instance mutex.
class client_process {
public:
    // Runs `program` with the command line `"program" arguments` in `folder` (empty: ours).
    explicit client_process(const std::string& arguments, const std::string& folder = "",
                            const std::string& program = program_path());
    ~client_process();
    client_process(const client_process&) = delete;
    client_process& operator=(const client_process&) = delete;

    DWORD id() const { return id_; }
    const std::string& command_line() const { return command_line_; }

    // The main window (it exists hidden too), or null if none appeared in time.
    HWND main_window(DWORD timeout_ms = 30000) const;
    // Waits until the program waits for input with nothing queued (start-up done).
    bool wait_input_idle(DWORD timeout_ms = 30000) const;
    // The exit code, or nothing if the process still runs after the time.
    std::optional<DWORD> wait_exit(DWORD timeout_ms) const;
    bool running() const;
    void kill();

    // A visible error box ("Ошибка") of this process, or null.
    HWND error_box() const;
    HWND wait_error_box(DWORD timeout_ms) const;

private:
    unique_handle process_;
    DWORD id_ = 0;
    std::string command_line_;
};

// The text of a message box of another process.
std::string box_text(HWND box);
// Presses OK on a message box; true once it has gone.
bool press_ok(HWND box, DWORD timeout_ms = 10000);

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

// The program's settings and the autostart value in the real HKEY_CURRENT_USER.
namespace registry {
void set(const char* name, const std::string& value);
// As `reg add /t REG_DWORD` writes a number.
void set_number(const char* name, DWORD value);
std::optional<std::string> get(const char* name);
void set_autostart(const std::string& value);
std::optional<std::string> autostart();
// The login and password in the protected form of this prefix, and AUTH_SAVE 1.
void save_credentials(const std::string& login, const std::string& password);
std::string protect(const std::string& text);
std::string unprotect(const std::string& stored);
// Removes "Software\Auth Client" and the autostart value.
void clear();
} // namespace registry

} // namespace e2e
