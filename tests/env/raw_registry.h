// Direct registry access for the tests, apart from the code under test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace raw {

struct value {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string data; // the bytes as stored, terminating zeros included
};

inline value read(const char* path, const char* name) {
    value v;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return v;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        v.exists = RegQueryValueExA(key, name, nullptr, &v.type,
                                    reinterpret_cast<BYTE*>(&v.data[0]), &size) == ERROR_SUCCESS;
        v.data.resize(size);
    }
    RegCloseKey(key);
    return v;
}

inline bool write(const char* path, const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status =
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

inline bool key_exists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Number of values and of subkeys of a key.
inline std::pair<DWORD, DWORD> counts(const char* path) {
    HKEY key = nullptr;
    DWORD subkeys = 0, values = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    return {values, subkeys};
}

// The raw data of every value anywhere below `root`.
inline void collect(HKEY root, std::vector<std::string>& out) {
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD name_size = sizeof name, size = 0, type = 0;
        if (RegEnumValueA(root, i, name, &name_size, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        name_size = sizeof name;
        RegEnumValueA(root, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                      &size);
        out.push_back(data);
    }
    for (DWORD i = 0;; ++i) {
        DWORD name_size = sizeof name;
        if (RegEnumKeyExA(root, i, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            collect(sub, out);
            RegCloseKey(sub);
        }
    }
}

inline std::vector<std::string> all_data() {
    std::vector<std::string> out;
    collect(HKEY_CURRENT_USER, out);
    return out;
}

} // namespace raw
