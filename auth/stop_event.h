// The event that tells the client's worker to stop.
#pragma once

#include <windows.h>

namespace auth {

// A new manual-reset event, not signalled; null on failure (GetLastError tells why). In a file
// of its own so that a test program can link one that fails.
HANDLE create_stop_event();

} // namespace auth
