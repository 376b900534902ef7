// Where the process looks for the DLLs it loads by name after start-up.
#pragma once

// Only the system folder: a DLL planted next to the program or in the working directory (a
// downloads folder, say) is never loaded. Systems without SetDefaultDllDirectories keep their
// own order. Returns whether the restriction is in force.
bool restrict_dll_search() noexcept;
