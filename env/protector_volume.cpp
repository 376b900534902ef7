#include "env/protector.h"

#include <windows.h>

namespace env {

void c_protector::read_volume_key() {
    key = default_key;
    char volume_name[260];
    char file_system[260];
    DWORD serial = 0;
    // Only a successful call's serial number counts: a failed one keeps the default key.
    if (GetVolumeInformationA("C:\\", volume_name, sizeof volume_name, &serial, nullptr, nullptr,
                              file_system, sizeof file_system))
        key = serial;
}

} // namespace env
