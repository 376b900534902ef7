#include "tests/common/process.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace test {

std::string windows_path(const std::string& unix_path) {
    if (unix_path.empty() || unix_path[0] != '/')
        return unix_path;
    std::string path = "Z:" + unix_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

process::process(const std::string& program, const std::string& arguments,
                 const std::string& folder)
    : command_line_("\"" + program + "\"") {
    if (!arguments.empty())
        command_line_ += " " + arguments;
    std::vector<char> writable(command_line_.begin(), command_line_.end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        throw std::runtime_error("cannot start " + command_line_ + ": error " +
                                 std::to_string(GetLastError()));
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

process::~process() {
    kill();
}

void process::kill() {
    if (running()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 10000);
    }
}

bool process::wait_input_idle(DWORD timeout_ms) const {
    return WaitForInputIdle(process_.get(), timeout_ms) == 0;
}

std::optional<DWORD> process::wait_exit(DWORD timeout_ms) const {
    if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

bool process::running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

} // namespace test
