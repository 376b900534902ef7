#include "tests/e2e/driver.h"

#include "env/protector.h"
#include "tests/common/window_recorder.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

#ifndef AUTHCLIENT_EXE_PATH
#error "AUTHCLIENT_EXE_PATH must name the AuthClient.exe under test"
#endif

namespace e2e {

namespace {

const char* const settings_path = "Software\\Auth Client";
const char* const run_path = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

bool same_text_ignoring_case(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

DWORD window_process(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

struct window_search {
    DWORD process;
    bool (*match)(HWND);
    HWND found = nullptr;
};

BOOL CALLBACK look_at(HWND window, LPARAM lparam) {
    auto* search = reinterpret_cast<window_search*>(lparam);
    if (window_process(window) != search->process || !search->match(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND find_window(DWORD process, bool (*match)(HWND)) {
    window_search search{process, match};
    EnumWindows(look_at, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string class_of(HWND window) {
    char text[64] = {};
    GetClassNameA(window, text, sizeof text);
    return text;
}

bool is_main_window(HWND window) {
    return same_text_ignoring_case(class_of(window), MAIN_WINDOW_CLASS);
}

bool is_error_box(HWND window) {
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    return IsWindowVisible(window) && class_of(window) == "#32770" &&
           std::string(caption) == "Ошибка";
}

// A message to a window of another process that cannot hang the test.
LRESULT send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 10000, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

std::string window_text(HWND window) {
    char text[2048] = {};
    send(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// A key of the current user's registry, opened (and created) for reading and writing.
class key {
public:
    explicit key(const char* path) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                            &key_, nullptr) != ERROR_SUCCESS)
            throw std::runtime_error(std::string("cannot open HKCU\\") + path);
    }
    ~key() { RegCloseKey(key_); }
    key(const key&) = delete;
    key& operator=(const key&) = delete;

    void set(const char* name, const std::string& value) const {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    void set_number(const char* name, DWORD value) const {
        RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }
    std::optional<std::string> get(const char* name) const {
        char data[4096] = {};
        DWORD size = sizeof data - 1;
        if (RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        return std::string(data);
    }
    void remove(const char* name) const { RegDeleteValueA(key_, name); }

private:
    HKEY key_ = nullptr;
};

} // namespace

std::string windows_path(const std::string& unix_path) {
    if (unix_path.empty() || unix_path[0] != '/')
        return unix_path;
    std::string path = "Z:" + unix_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string program_path() {
    return windows_path(AUTHCLIENT_EXE_PATH);
}

temp_folder::temp_folder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64());
    if (!CreateDirectoryA(path_.c_str(), nullptr))
        throw std::runtime_error("cannot create " + path_);
}

temp_folder::~temp_folder() {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((path_ + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

client_process::client_process(const std::string& arguments, const std::string& folder,
                               const std::string& program) {
    command_line_ = "\"" + program + "\"";
    if (!arguments.empty())
        command_line_ += " " + arguments;
    std::vector<char> writable(command_line_.begin(), command_line_.end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        throw std::runtime_error("cannot start " + command_line_ + ": error " +
                                 std::to_string(GetLastError()));
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

client_process::~client_process() {
    kill();
}

void client_process::kill() {
    if (running()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 10000);
    }
}

HWND client_process::main_window(DWORD timeout_ms) const {
    HWND found = nullptr;
    test::pump_until(
        [&] {
            found = find_window(id_, is_main_window);
            return found != nullptr || !running();
        },
        timeout_ms);
    return found;
}

bool client_process::wait_input_idle(DWORD timeout_ms) const {
    return WaitForInputIdle(process_.get(), timeout_ms) == 0;
}

std::optional<DWORD> client_process::wait_exit(DWORD timeout_ms) const {
    if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

bool client_process::running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

HWND client_process::error_box() const {
    return find_window(id_, is_error_box);
}

HWND client_process::wait_error_box(DWORD timeout_ms) const {
    HWND box = nullptr;
    test::pump_until(
        [&] {
            box = error_box();
            return box != nullptr;
        },
        timeout_ms);
    return box;
}

std::string box_text(HWND box) {
    // The message of a message box is its static control 0xFFFF.
    return window_text(GetDlgItem(box, 0xFFFF));
}

bool press_ok(HWND box, DWORD timeout_ms) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return test::pump_until([&] { return !IsWindow(box); }, timeout_ms);
}

bool checked(HWND main, int id) {
    return send(GetDlgItem(main, id), BM_GETCHECK) == BST_CHECKED;
}

std::string control_text(HWND main, int id) {
    return window_text(GetDlgItem(main, id));
}

void click(HWND main, int id) {
    send(GetDlgItem(main, id), BM_CLICK);
}

LRESULT end_session(HWND main, bool ending) {
    const LRESULT answer = send(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    send(main, WM_ENDSESSION, ending, ENDSESSION_LOGOFF);
    return answer;
}

std::optional<int> coloured_globe_pixels(HWND main) {
    RECT r;
    if (!GetWindowRect(GetDlgItem(main, IDC_PICTURE), &r))
        return std::nullopt;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 3 || height <= 0)
        return std::nullopt;
    // Another program's window (a message box of a test running beside this one) may cover it.
    const int left = r.left + width * 2 / 3;
    for (const POINT p :
         {POINT{left, r.top}, POINT{r.right - 1, r.top}, POINT{left, r.bottom - 1},
          POINT{r.right - 1, r.bottom - 1}, POINT{(left + r.right) / 2, (r.top + r.bottom) / 2}})
        if (GetAncestor(WindowFromPoint(p), GA_ROOT) != main)
            return std::nullopt;

    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::optional<int> count;
    if (bitmap && bits) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY)) {
            GdiFlush();
            const auto* pixels = static_cast<const unsigned char*>(bits);
            int coloured = 0;
            for (int y = 0; y < height; ++y)
                for (int x = width * 2 / 3; x < width; ++x) {
                    const unsigned char* p = pixels + (static_cast<std::size_t>(y) * width + x) * 4;
                    const int high = std::max({p[0], p[1], p[2]});
                    const int low = std::min({p[0], p[1], p[2]});
                    coloured += high - low > 60;
                }
            count = coloured;
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return count;
}

namespace registry {

void set(const char* name, const std::string& value) {
    key(settings_path).set(name, value);
}

void set_number(const char* name, DWORD value) {
    key(settings_path).set_number(name, value);
}

std::optional<std::string> get(const char* name) {
    return key(settings_path).get(name);
}

void set_autostart(const std::string& value) {
    key(run_path).set("AuthClient", value);
}

std::optional<std::string> autostart() {
    return key(run_path).get("AuthClient");
}

void save_credentials(const std::string& login, const std::string& password) {
    set("AUTH_LOGIN", protect(login));
    set("AUTH_PASSWD", protect(password));
    set("AUTH_SAVE", "1");
}

std::string protect(const std::string& text) {
    env::c_protector protector;
    protector.read_volume_key();
    return protector.protect(text.c_str());
}

std::string unprotect(const std::string& stored) {
    env::c_protector protector;
    protector.read_volume_key();
    return protector.unprotect(stored.c_str());
}

void clear() {
    RegDeleteTreeA(HKEY_CURRENT_USER, settings_path);
    RegDeleteKeyA(HKEY_CURRENT_USER, settings_path);
    key(run_path).remove("AuthClient");
}

} // namespace registry

} // namespace e2e
