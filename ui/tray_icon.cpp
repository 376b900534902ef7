#include "ui/tray_icon.h"

#include "ui/dpi.h"

#include <algorithm>
#include <cstring>

#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "the shell is given the 488-byte record");
#endif

namespace {

class c_system_tray_shell : public c_tray_shell {
public:
    explicit c_system_tray_shell(HWND owner) : owner_(owner) {}
    // The window's DPI now: it changes when the window moves to another monitor.
    HICON load_icon(int resource) override {
        return ::load_icon(GetModuleHandleA(nullptr), resource,
                           metric_for_dpi(SM_CXSMICON, window_dpi(owner_)));
    }
    void destroy_icon(HICON icon) override { DestroyIcon(icon); }
    BOOL notify(DWORD command, NOTIFYICONDATAA* record) override {
        return Shell_NotifyIconA(command, record);
    }

private:
    HWND owner_;
};

// At most `limit` bytes of `text` (null: none) and a terminating zero, never half a character
// of a double-byte code page.
void copy_cut(char* out, const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (text && text[length] != '\0') {
        const std::size_t step =
            IsDBCSLeadByte(static_cast<BYTE>(text[length])) && text[length + 1] != '\0' ? 2 : 1;
        if (length + step > limit)
            break;
        length += step;
    }
    std::memcpy(out, text ? text : "", length);
    out[length] = '\0';
}

} // namespace

std::unique_ptr<c_tray_shell> make_system_tray_shell(HWND owner) {
    return std::make_unique<c_system_tray_shell>(owner);
}

c_tray_icon::c_tray_icon(HWND owner, std::unique_ptr<c_tray_shell> shell)
    : owner_(owner), shell_(shell ? std::move(shell) : make_system_tray_shell(owner)) {}

c_tray_icon::~c_tray_icon() = default;

int c_tray_icon::add(int icon, const char* tip, int id, int tip_bytes) noexcept {
    return notify(NIM_ADD, icon, tip, id, tip_bytes);
}

int c_tray_icon::modify(int icon, const char* tip, int id, int tip_bytes) noexcept {
    return notify(NIM_MODIFY, icon, tip, id, tip_bytes);
}

int c_tray_icon::remove(int id) noexcept {
    notify(NIM_DELETE, 0, nullptr, id, tip_limit);
    return 0;
}

void c_tray_icon::warn(int id, const char* title, const char* text) noexcept {
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V2_SIZE;
    record.hWnd = owner_;
    record.uID = static_cast<UINT>(id);
    record.uFlags = NIF_INFO;
    record.uTimeout = 10000; // older systems show it this long; newer ones decide themselves
    record.dwInfoFlags = NIIF_WARNING;
    copy_cut(record.szInfoTitle, title, sizeof record.szInfoTitle - 1);
    copy_cut(record.szInfo, text, sizeof record.szInfo - 1);
    shell_->notify(NIM_MODIFY, &record);
}

int c_tray_icon::notify(DWORD command, int icon, const char* tip, int id, int tip_bytes) noexcept {
    // The old image goes first: the shell keeps its own copy of what it shows.
    icons_.erase(id);

    HICON handle = nullptr;
    if (icon != 0) {
        c_owned_icon loaded(*shell_, shell_->load_icon(icon));
        if (!loaded.get())
            return -1;
        handle = loaded.get();
        try {
            icons_.emplace(id, std::move(loaded));
        } catch (...) {
            return -1; // no memory for the entry: the icon is released, the shell not called
        }
    }

    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V2_SIZE;
    record.hWnd = owner_;
    record.uID = static_cast<UINT>(id);
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = callback_message;
    record.hIcon = handle;
    record.uVersion = 3;
    copy_cut(record.szTip, tip,
             std::min<std::size_t>(static_cast<std::size_t>(std::max(tip_bytes, 0)),
                                   sizeof record.szTip - 1));
    shell_->notify(command, &record);
    return 0;
}
