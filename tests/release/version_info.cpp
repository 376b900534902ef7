// version_info FILE: the version resource of FILE as Windows reads it for Explorer's "Details"
// tab and inventory tools (GetFileVersionInfoW, VerQueryValueW), one "Name=Value" line each in
// UTF-8: the fixed file and product versions, then the texts of the first translation. Exits
// with 1 when the file has none.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

void print(const std::string& name, const std::string& value) {
    const std::string line = name + "=" + value + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::string quad(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

struct local_free {
    void operator()(LPWSTR* p) const { LocalFree(p); }
};

} // namespace

int main() {
    int argc = 0;
    const std::unique_ptr<LPWSTR, local_free> args(CommandLineToArgvW(GetCommandLineW(), &argc));
    LPWSTR* argv = args.get();
    if (!argv || argc != 2) {
        std::fputs("usage: version_info FILE\n", stderr);
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<unsigned char> data(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, data.data())) {
        std::fputs("no version resource\n", stderr);
        return 1;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        print("FILEVERSION", quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        print("PRODUCTVERSION", quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    }

    struct translation {
        WORD language;
        WORD code_page;
    }* translations = nullptr;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(translation))
        return 0;
    wchar_t id[16];
    swprintf(id, 16, L"%04x%04x", translations[0].language, translations[0].code_page);
    print("Translation", utf8(id));
    const std::wstring block = L"\\StringFileInfo\\" + std::wstring(id) + L"\\";
    for (const wchar_t* name :
         {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
          L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        wchar_t* value = nullptr;
        if (VerQueryValueW(data.data(), (block + name).c_str(), reinterpret_cast<void**>(&value),
                           &length) &&
            value)
            print(utf8(name), utf8(value));
    }
    return 0;
}
