// Linked into a copy of the program in place of the real one: the client's event cannot be
// created, so the main window fails while it initialises.
#include "auth/stop_event.h"

namespace auth {

HANDLE create_stop_event() {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
}

} // namespace auth
