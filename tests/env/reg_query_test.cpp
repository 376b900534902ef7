// What the program writes is what the system's own registry tool sees, and the other way round.
// These tests use the real HKEY_CURRENT_USER of the prefix, under a key of their own that they
// remove again.
#include "env/reg_value.h"
#include "tests/common/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using env::c_reg_value;

class RegTool : public ::testing::Test {
protected:
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\AuthClientTests"); // once no test holds a key
    }

    // Runs reg.exe and returns what it printed, turned from the console's code page (866 on
    // a Russian system) into the ANSI code page of the program.
    static std::string run(const std::string& arguments, int& status) {
        std::string output;
        FILE* pipe = _popen(("reg.exe " + arguments + " 2>&1").c_str(), "rb");
        if (!pipe) {
            status = -1;
            return output;
        }
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        status = _pclose(pipe);
        return to_ansi(output);
    }

    static std::string to_ansi(const std::string& text) {
        UINT console = GetConsoleOutputCP();
        if (console == 0)
            console = GetOEMCP();
        if (text.empty())
            return text;
        const int wide_length =
            MultiByteToWideChar(console, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
        MultiByteToWideChar(console, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                            wide_length);
        const int length =
            WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
        std::string ansi(static_cast<std::size_t>(length), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, &ansi[0], length, nullptr,
                            nullptr);
        return ansi;
    }

    // The data column of the line of `name` in the output of "reg query".
    static std::string queried(const std::string& output, const std::string& name,
                               const std::string& type) {
        std::size_t start = 0;
        while (start < output.size()) {
            std::size_t end = output.find('\n', start);
            if (end == std::string::npos)
                end = output.size();
            std::string line = output.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::string head = "    " + name + "    " + type + "    ";
            if (line.compare(0, head.size(), head) == 0)
                return line.substr(head.size());
            start = end + 1;
        }
        ADD_FAILURE() << "no line for " << name << " in:\n" << output;
        return std::string();
    }

    const std::string path_ = "Software\\AuthClientTests\\" + c_registry_sandbox::unique_name();
    const std::string full_ = "HKCU\\" + path_;
};

TEST_F(RegTool, ValuesWrittenByTheProgramReadBackIdentically) {
    const c_reg_value caption(HKEY_CURRENT_USER, path_, "APP_CAPTION", "");
    const c_reg_value port(HKEY_CURRENT_USER, path_, "AUTH_PORT", "");
    const c_reg_value stored(HKEY_CURRENT_USER, path_, "AUTH_PASSWD", "");
    const std::string text = "Клиент авторизации (тест)";
    caption.set(text);
    port.set(777);
    stored.set("lng4c5F2OWTm");

    int status = 0;
    const std::string output = run("query \"" + full_ + "\"", status);
    ASSERT_EQ(status, 0) << output;
    EXPECT_EQ(queried(output, "APP_CAPTION", "REG_SZ"), text);
    EXPECT_EQ(queried(output, "AUTH_PORT", "REG_SZ"), "777");
    EXPECT_EQ(queried(output, "AUTH_PASSWD", "REG_SZ"), "lng4c5F2OWTm");
}

TEST_F(RegTool, ValuesWrittenByTheToolReadBackIdentically) {
    int status = 0;
    std::string output = run("add \"" + full_ + "\" /v LINK_PERSONAL /t REG_SZ /d " +
                                 "\"https://my.example.net/кабинет\" /f",
                             status);
    ASSERT_EQ(status, 0) << output;
    output = run("add \"" + full_ + "\" /v AUTH_PORT /t REG_SZ /d \" 8080 \" /f", status);
    ASSERT_EQ(status, 0) << output;
    const c_reg_value link(HKEY_CURRENT_USER, path_, "LINK_PERSONAL", "");
    const c_reg_value port(HKEY_CURRENT_USER, path_, "AUTH_PORT", "");
    EXPECT_EQ(link.get_str(), "https://my.example.net/кабинет");
    EXPECT_EQ(port.get_str(), " 8080 ");
    EXPECT_EQ(port.get_int(), 8080);
}

} // namespace
