#include "auth/stop_event.h"

namespace auth {

HANDLE create_stop_event() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

} // namespace auth
