// A notification-area seam that only records: what the tray icon loads, releases and hands to
// the shell, in order. The icons it gives out are made-up handles that nothing draws.
#pragma once

#include "ui/tray_icon.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace test {

struct shell_call {
    enum kind { load, destroy, notify } what;
    int resource = 0;       // load
    HICON icon = nullptr;   // load (the result), destroy
    DWORD command = 0;      // notify
    NOTIFYICONDATAA record; // notify: a copy of what the shell was given
};

struct shell_log {
    std::vector<shell_call> calls;
    std::set<HICON> live;     // loaded and not yet released
    std::set<int> unloadable; // resources whose loading fails
    std::vector<HICON> released_twice_or_unknown;
    INT_PTR next = 0x100;

    std::vector<shell_call> notifications() const {
        std::vector<shell_call> found;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                     [](const shell_call& c) { return c.what == shell_call::notify; });
        return found;
    }

    // The resource number of the icon that an entry of the log shows (0: none).
    int resource_of(HICON icon) const {
        for (const shell_call& c : calls)
            if (c.what == shell_call::load && c.icon == icon && icon)
                return c.resource;
        return 0;
    }
};

class recording_shell : public c_tray_shell {
public:
    explicit recording_shell(std::shared_ptr<shell_log> log) : log_(std::move(log)) {}

    HICON load_icon(int resource) override {
        shell_call call{shell_call::load, resource, nullptr, 0, {}};
        if (!log_->unloadable.count(resource)) {
            call.icon = reinterpret_cast<HICON>(log_->next++);
            log_->live.insert(call.icon);
        }
        log_->calls.push_back(call);
        return call.icon;
    }
    void destroy_icon(HICON icon) override {
        if (!log_->live.erase(icon))
            log_->released_twice_or_unknown.push_back(icon);
        log_->calls.push_back({shell_call::destroy, 0, icon, 0, {}});
    }
    BOOL notify(DWORD command, NOTIFYICONDATAA* record) override {
        log_->calls.push_back({shell_call::notify, 0, nullptr, command, *record});
        return TRUE;
    }

private:
    std::shared_ptr<shell_log> log_;
};

} // namespace test
