// The window's icons in the notification area.
#pragma once

#include <windows.h>

#include <shellapi.h> // needs windows.h first

#include <map>
#include <memory>
#include <utility>

// The calls that reach the platform, behind a seam so tests can see what the shell is given.
class c_tray_shell {
public:
    virtual ~c_tray_shell() = default;
    virtual HICON load_icon(int resource) = 0; // small-icon size of its DPI; null on failure
    virtual void destroy_icon(HICON icon) = 0;
    virtual BOOL notify(DWORD command, NOTIFYICONDATAA* record) = 0; // Shell_NotifyIconA
};

// The real platform: the program's own icon resources, at the small-icon size for the DPI of
// `owner` (the system's without one), and Shell_NotifyIconA.
std::unique_ptr<c_tray_shell> make_system_tray_shell(HWND owner = nullptr);

class c_tray_icon {
public:
    // What the notification area sends the owner for its icon (the main window posts it too).
    static constexpr UINT callback_message = 3772;
    static constexpr int tip_limit = 62;       // bytes of the tip that the shell is given
    static constexpr int long_tip_limit = 127; // all the record holds: a tip that explains

    // Without a shell, the system's for the owner.
    explicit c_tray_icon(HWND owner, std::unique_ptr<c_tray_shell> shell = nullptr);
    ~c_tray_icon(); // releases the icons; removes nothing from the notification area
    c_tray_icon(const c_tray_icon&) = delete;
    c_tray_icon& operator=(const c_tray_icon&) = delete;

    // 0, or -1 when the icon cannot be loaded (the shell is then not called). `icon` 0 means
    // no icon; `tip` may be null. Nothing is reported and nothing throws.
    // The tip is cut to `tip_bytes` at a character boundary.
    int add(int icon, const char* tip, int id, int tip_bytes = tip_limit) noexcept;
    int modify(int icon, const char* tip, int id, int tip_bytes = tip_limit) noexcept;
    int remove(int id) noexcept;
    // A balloon with the warning sign over icon `id`; the texts are cut to what the record holds.
    void warn(int id, const char* title, const char* text) noexcept;

private:
    // One loaded icon, released with the shell that loaded it.
    class c_owned_icon {
    public:
        c_owned_icon(c_tray_shell& shell, HICON icon) : shell_(&shell), icon_(icon) {}
        c_owned_icon(c_owned_icon&& other) noexcept
            : shell_(other.shell_), icon_(std::exchange(other.icon_, nullptr)) {}
        c_owned_icon& operator=(c_owned_icon&&) = delete;
        c_owned_icon(const c_owned_icon&) = delete;
        c_owned_icon& operator=(const c_owned_icon&) = delete;
        ~c_owned_icon() {
            if (icon_)
                shell_->destroy_icon(icon_);
        }
        HICON get() const { return icon_; }

    private:
        c_tray_shell* shell_;
        HICON icon_;
    };

    int notify(DWORD command, int icon, const char* tip, int id, int tip_bytes) noexcept;

    HWND owner_;
    std::unique_ptr<c_tray_shell> shell_; // outlives the icons below
    std::map<int, c_owned_icon> icons_;
};
