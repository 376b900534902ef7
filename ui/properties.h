// The properties sheet: the general page (server, port, protocol, identification, link) and
// the about page (product line, version, emblem), each with its own dialog procedure.
#pragma once

#include <windows.h>

// The general page (IDD_PROP_GENERAL): filled from the settings when it is created; OK writes
// its values back unless PROTECT_SETTINGS forbids it.
INT_PTR CALLBACK DlgProcPropGeneral(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
// The about page (IDD_PROP_ABOUT): the product line, the version and the emblem.
INT_PTR CALLBACK DlgProcPropAbout(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// Shows the sheet modally, owned by `owner`; returns when the user has closed it.
void show_properties(HWND owner);

// Cancels the sheet that `owner` shows, if any, as its Cancel button does: nothing is written,
// and `show_properties` returns once the sheet's loop runs again.
void cancel_properties(HWND owner);

// List positions and the setting values they stand for; -1 is no selection (or no value).
int auth_type_item(int auth_type);    // 1, 2, 3 -> 0, 1, 2
int auth_type_value(int item);        // 0, 1, 2 -> 1, 2, 3
int auth_protocol_item(int protocol); // 6, 17 -> 0, 1
int auth_protocol_value(int item);    // 0, 1 -> 6, 17

// Whether the sheet may change the settings, by the PROTECT_SETTINGS value read as an integer:
// decides both the OK button and whether OK writes.
bool settings_editable(int protect_settings);
