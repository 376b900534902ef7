// The window that shows a message from the auth server: a white panel at the bottom right
// corner of the work area, on top, with a picture, a bold title and a read-only text.
#pragma once

#include "auth/messages.h"

#include <windows.h>

#include <cstddef>
#include <string>

// Dialog procedure of template 134; the creation parameter is a `const auth::server_info*`,
// which is copied during creation and need not outlive it.
INT_PTR CALLBACK DlgProcMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Opens a window for a message from the server, or, when a window still shows the same header,
// data and params, brings that one to the front instead: a notice that the server attaches to
// every answer stays one window. Null when a window cannot be created.
HWND show_server_message(HINSTANCE instance, const auth::server_info& message);

// Bitmap for the message's params ("key=value;..."): 138 for icon=1, 142 for icon=2, else 136.
int message_picture(const std::string& params);

// Top left corner of a window of the given rectangle moved to the work area's bottom right
// corner, 5 pixels from its right edge and 8 above its bottom.
POINT message_position(const RECT& work_area, const RECT& window);

// UTF-8 text up to its first NUL as UTF-16, cut to fit a buffer of `buffer_units` with the
// terminating zero; a cut never splits a character.
std::wstring utf8_to_utf16(const std::string& text, std::size_t buffer_units);

constexpr std::size_t message_header_units = 255;
constexpr std::size_t message_data_units = 16384;
