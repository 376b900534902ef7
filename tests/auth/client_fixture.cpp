#include "tests/auth/client_fixture.h"

#include "tests/common/log_lines.h"

#include <winsock2.h>

#include <tlhelp32.h>

namespace test {

client_fixture::client_fixture() {
    WSADATA data;
    WSAStartup(0x0002, &data);
    environment = std::make_unique<env::c_env>(recorder.window());
}

client_fixture::~client_fixture() {
    stop_worker();
    environment->main_window = nullptr;
    client.reset();
    server.reset();
    WSACleanup();
}

void client_fixture::stop_worker() {
    if (client && client->state() != auth::idle) {
        client->stop(0);
        recorder.wait_state(auth::idle, recorder.states().size() - 1, 20000);
    }
}

void client_fixture::serve(const std::vector<std::string>& arguments) {
    server = std::make_unique<test_auth_server>(arguments);
    set(env::AUTH_SERVER, "127.0.0.1");
    set(env::AUTH_PORT, std::to_string(server->port()));
}

void client_fixture::configure(int protocol, int type, int period_seconds) {
    set(env::AUTH_PROTOCOL, std::to_string(protocol));
    set(env::AUTH_TYPE, std::to_string(type));
    set(env::RECONNECT_PERIOD, std::to_string(period_seconds));
}

void client_fixture::connect(const std::string& login, const std::string& password, bool at_logon) {
    environment->login = login;
    environment->password = password;
    if (!client)
        client = std::make_unique<auth::c_client>(*environment);
    client->start(at_logon);
}

std::string client_fixture::request(int timeout_ms) {
    std::optional<std::string> line;
    pump_until(
        [&] {
            line = server->next_request(0);
            return line.has_value();
        },
        static_cast<DWORD>(timeout_ms));
    EXPECT_TRUE(line.has_value()) << "the server saw no request";
    return line.value_or("{}");
}

logged_client_fixture::logged_client_fixture() {
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    previous_ = previous;
    SetCurrentDirectoryA(folder_.path().c_str());
}

logged_client_fixture::~logged_client_fixture() {
    // The client's last lines, its destructor's too, still go to this folder.
    stop_worker();
    environment->main_window = nullptr;
    client.reset();
    SetCurrentDirectoryA(previous_.c_str());
}

std::string logged_client_fixture::log_file() const {
    return daily_log_file(folder_.path());
}

std::vector<std::string> logged_client_fixture::log_lines() const {
    return masked_log_lines(log_file());
}

int logged_client_fixture::log_count(const std::string& text) const {
    return test::log_count(log_file(), text);
}

int thread_count() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle(snapshot);
    return count;
}

std::string server_text(unsigned short port) {
    return "127.0.0.1:" + std::to_string(port);
}

} // namespace test
