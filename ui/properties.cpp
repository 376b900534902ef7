#include "ui/properties.h"

#include "app/application.h"
#include "env/env.h"
#include "res/resource.h"
#include "support/string_table.h"
#include "support/text.h"
#include "ui/dpi.h"
#include "ui/error_report.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

// The platform's first-form sizes, spelt so that the compiler can check them: its own macros
// compute the same through a null pointer, which is no constant expression.
#ifndef _WIN64
static_assert(offsetof(PROPSHEETHEADERA, pfnCallback) + sizeof(PFNPROPSHEETCALLBACK) == 40,
              "PROPSHEETHEADERA_V1_SIZE: the sheet's header in its first, 40-byte form");
static_assert(offsetof(PROPSHEETPAGEA, pcRefParent) + sizeof(UINT*) == 40,
              "PROPSHEETPAGEA_V1_SIZE: the pages in their first, 40-byte form");
#endif

namespace {

// Texts read back from the fields: at most 253 characters.
constexpr int field_bytes = 254;

const env::c_env& environment() {
    if (!app || !app->environment)
        EX_RAISE(c_application::c_exception, "The settings are not available.");
    return *app->environment;
}

HINSTANCE instance() {
    return app ? app->instance : GetModuleHandleA(nullptr);
}

void fill_list(HWND page, int list, UINT items, int selected) {
    for (const std::string& item : split(load_text(instance(), items), "\n"))
        SendDlgItemMessageA(page, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SendDlgItemMessageA(page, list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

std::string field_text(HWND page, int field) {
    char text[field_bytes] = {};
    GetDlgItemTextA(page, field, text, sizeof text);
    return text;
}

int selection(HWND page, int list) {
    return static_cast<int>(SendDlgItemMessageA(page, list, CB_GETCURSEL, 0, 0));
}

bool editable() {
    return settings_editable(environment().value(env::PROTECT_SETTINGS).get_int());
}

// Every page, when it is created, enables the sheet's OK button by the protection.
void enable_ok(HWND page) {
    EnableWindow(GetDlgItem(GetParent(page), IDOK), editable());
}

// Runs a page's handler inside the guard that keeps an exception from the dialog manager.
template <class Handler> INT_PTR handled(Handler handler) {
    return guarded([&]() -> INT_PTR {
        handler();
        return 0;
    });
}

bool is_apply(LPARAM lparam) {
    return reinterpret_cast<const NMHDR*>(lparam)->code == static_cast<UINT>(PSN_APPLY);
}

// --- the general page ------------------------------------------------------------------------

void fill_general(HWND page) {
    const env::c_env& settings = environment();
    SetDlgItemTextA(page, IDC_SERVER, settings.value(env::AUTH_SERVER).get_str().c_str());
    fill_list(page, IDC_TYPE, IDS_AUTH_TYPES,
              auth_type_item(settings.value(env::AUTH_TYPE).get_int()));
    fill_list(page, IDC_PROTOCOL, IDS_PROTOCOLS,
              auth_protocol_item(settings.value(env::AUTH_PROTOCOL).get_int()));
    SetDlgItemTextA(page, IDC_PORT, settings.value(env::AUTH_PORT).get_str().c_str());
    SetDlgItemTextA(page, IDC_LINK_PERSONAL, settings.value(env::LINK_PERSONAL).get_str().c_str());
    enable_ok(page);
}

// OK, whichever page is in front: the sheet asks every page that has been created.
void apply_general(HWND page) {
    // The disabled OK button is not the only way to OK (the sheet can be told to press it).
    if (!editable())
        return;
    const env::c_env& settings = environment();
    settings.value(env::AUTH_SERVER).set(field_text(page, IDC_SERVER));
    settings.value(env::AUTH_PORT).set(field_text(page, IDC_PORT));
    settings.value(env::LINK_PERSONAL).set(field_text(page, IDC_LINK_PERSONAL));
    if (const int type = auth_type_value(selection(page, IDC_TYPE)); type != -1)
        settings.value(env::AUTH_TYPE).set(type);
    if (const int protocol = auth_protocol_value(selection(page, IDC_PROTOCOL)); protocol != -1)
        settings.value(env::AUTH_PROTOCOL).set(protocol);
}

// --- the about page --------------------------------------------------------------------------

// The emblem as drawn for the page's DPI; the template has the 100 % one.
void show_emblem(HWND page) {
    show_picture(page, IDC_EMBLEM, load_picture(instance(), IDB_EMBLEM, window_dpi(page)));
}

void fill_about(HWND page) {
    SetDlgItemTextA(page, IDC_PRODUCT, load_text(instance(), IDS_PRODUCT_LINE).c_str());
    SetDlgItemTextA(page, IDC_VERSION, load_text(instance(), IDS_VERSION).c_str());
    enable_ok(page);
    show_emblem(page);
}

// The sheet among the windows that `owner` owns: a dialog with a current page.
BOOL CALLBACK cancel_if_sheet(HWND window, LPARAM owner) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
        std::strcmp(name, "#32770") == 0 && PropSheet_GetCurrentPageHwnd(window))
        PropSheet_PressButton(window, PSBTN_CANCEL);
    return TRUE;
}

} // namespace

int auth_type_item(int auth_type) {
    switch (auth_type) {
    case env::type_ip:
        return 0;
    case env::type_login:
        return 1;
    case env::type_local_ip:
        return 2;
    default:
        return -1;
    }
}

int auth_type_value(int item) {
    switch (item) {
    case 0:
        return env::type_ip;
    case 1:
        return env::type_login;
    case 2:
        return env::type_local_ip;
    default:
        return -1;
    }
}

int auth_protocol_item(int protocol) {
    switch (protocol) {
    case env::protocol_tcp:
        return 0;
    case env::protocol_udp:
        return 1;
    default:
        return -1;
    }
}

int auth_protocol_value(int item) {
    switch (item) {
    case 0:
        return env::protocol_tcp;
    case 1:
        return env::protocol_udp;
    default:
        return -1;
    }
}

bool settings_editable(int protect_settings) {
    return protect_settings == 0;
}

INT_PTR CALLBACK DlgProcPropGeneral(HWND page, UINT message, WPARAM, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return handled([&] { fill_general(page); });
    case WM_NOTIFY:
        if (is_apply(lparam))
            return handled([&] { apply_general(page); }); // PSNRET_NOERROR: the sheet closes
        return 0;
    default:
        return 0;
    }
}

INT_PTR CALLBACK DlgProcPropAbout(HWND page, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return handled([&] { fill_about(page); });
    case WM_DPICHANGED_AFTER_PARENT: // the sheet moved to a monitor of another scale
        show_emblem(page);
        return 0;
    case WM_DESTROY:
        release_picture(page, IDC_EMBLEM);
        return 0;
    default:
        return 0; // OK has nothing to write here
    }
}

void show_properties(HWND owner) {
    const std::string caption = environment().value(env::APP_CAPTION).get_str() + " - " +
                                load_text(instance(), IDS_PROPERTIES);

    // The sheet steps through the page records by their dwSize, so the records are laid out
    // one after the other in their first form, whatever size the structure has here.
    const std::size_t page_size = PROPSHEETPAGEA_V1_SIZE;
    struct page_kind {
        int dialog;
        DLGPROC procedure;
    };
    const page_kind kinds[] = {{IDD_PROP_GENERAL, DlgProcPropGeneral},
                               {IDD_PROP_ABOUT, DlgProcPropAbout}};
    std::vector<unsigned char> pages(page_size * std::size(kinds));
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        PROPSHEETPAGEA page = {};
        page.dwSize = PROPSHEETPAGEA_V1_SIZE;
        page.dwFlags = 0;
        page.hInstance = instance();
        page.pszTemplate = MAKEINTRESOURCEA(kinds[i].dialog);
        page.pfnDlgProc = kinds[i].procedure;
        std::memcpy(pages.data() + i * page_size, &page, page_size);
    }

    PROPSHEETHEADERA header = {};
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = instance();
    header.pszCaption = caption.c_str();
    header.nPages = static_cast<UINT>(std::size(kinds));
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages.data());
    PropertySheetA(&header);
}

void cancel_properties(HWND owner) {
    EnumThreadWindows(GetCurrentThreadId(), cancel_if_sheet, reinterpret_cast<LPARAM>(owner));
}
