#include "app/dll_search.h"

#include <windows.h>

bool restrict_dll_search() noexcept {
    // Looked up at run time: older systems start without it.
    using set_default_dll_directories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto set = kernel ? reinterpret_cast<set_default_dll_directories>(reinterpret_cast<void*>(
                                  GetProcAddress(kernel, "SetDefaultDllDirectories")))
                            : nullptr;
    return set && set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
