#include "tests/common/temp_folder.h"

#include "tests/common/registry_override.h"

#include <windows.h>

#include <stdexcept>

namespace test {

temp_folder::temp_folder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + name + "-" + registry_override::unique_name();
    if (!CreateDirectoryA(path_.c_str(), nullptr))
        throw std::runtime_error("cannot create " + path_);
}

temp_folder::~temp_folder() {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((path_ + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

} // namespace test
