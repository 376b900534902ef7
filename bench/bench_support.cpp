#include "bench/bench_support.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace bench {

// ---- result lines ----

namespace {

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) { // text beyond ASCII is UTF-8 and stays as it is
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string number_text(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

} // namespace

result::result(const std::string& id) : line_("{\"id\":" + quoted(id)) {}

result::~result() {
    std::printf("%s}\n", line_.c_str());
    std::fflush(stdout);
}

result& result::number(const char* key, double value) {
    line_ += "," + quoted(key) + ":" + number_text(value);
    return *this;
}

result& result::text(const char* key, const std::string& value) {
    line_ += "," + quoted(key) + ":" + quoted(value);
    return *this;
}

result& result::flag(const char* key, bool value) {
    line_ += "," + quoted(key) + ":" + (value ? "true" : "false");
    return *this;
}

result& result::numbers(const char* key, const std::vector<double>& values) {
    line_ += "," + quoted(key) + ":[";
    for (std::size_t i = 0; i < values.size(); ++i)
        line_ += (i ? "," : "") + number_text(values[i]);
    line_ += "]";
    return *this;
}

std::string read_all(HANDLE source) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(source, buffer, sizeof buffer, &got, nullptr) && got)
        text.append(buffer, got);
    return text;
}

std::string read_file(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string text = read_all(file);
    CloseHandle(file);
    return text;
}

std::string utf8_of_ansi(const std::string& text) {
    const int wide_size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        wide_size);
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, out.data(), size, nullptr, nullptr);
    return out;
}

std::set<std::string> unanswered_connects(unsigned short port) {
    // Lines of "sl local remote st ...", addresses as hex "0100007F:1F90", st 02 is SYN_SENT.
    char remote[16];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", port);
    std::set<std::string> out;
    std::istringstream lines(read_file("Z:\\proc\\net\\tcp"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, state;
        if (fields >> slot >> local >> peer >> state && peer == remote && state == "02")
            out.insert(local);
    }
    return out;
}

double median(std::vector<double> samples) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

namespace {

// SystemHandleInformation: every handle of every process, one entry each.
struct handle_entry {
    ULONG process;
    BYTE type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct handle_table {
    ULONG count;
    handle_entry entries[1];
};
using query_system_information = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

double handles_in_system_table() {
    static const auto query = reinterpret_cast<query_system_information>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    static std::vector<char> buffer(1 << 20);
    ULONG length = 0;
    while (query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0) {
        if (buffer.size() >= (64u << 20))
            return 0;
        buffer.resize(buffer.size() * 2);
    }
    const auto* table = reinterpret_cast<const handle_table*>(buffer.data());
    const DWORD me = GetCurrentProcessId();
    double mine = 0;
    for (ULONG i = 0; i < table->count; ++i)
        mine += table->entries[i].process == me;
    return mine;
}

double committed_private() {
    double total = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* at = nullptr;
    while (VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += static_cast<double>(region.RegionSize);
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return total;
}

double unix_descriptors() {
    double count = 0;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA("Z:\\proc\\self\\fd\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do
        count += found.cFileName[0] != '.';
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count; // the listing's own descriptor included, the same at every sample
}

} // namespace

resources sample_resources() {
    resources r;
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    r.handles = handles ? handles : handles_in_system_table();
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        r.private_bytes = static_cast<double>(counters.PrivateUsage ? counters.PrivateUsage
                                                                    : counters.PagefileUsage);
        r.working_set = static_cast<double>(counters.WorkingSetSize);
    }
    r.committed = committed_private();
    r.unix_fds = unix_descriptors();
    return r;
}

} // namespace bench
