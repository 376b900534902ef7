#include "tests/auth/client_fixture.h"

#include <winsock2.h>

namespace test {

client_fixture::client_fixture() {
    WSADATA data;
    WSAStartup(0x0002, &data);
    environment = std::make_unique<env::c_env>(recorder.window());
}

client_fixture::~client_fixture() {
    // Stop the worker while the window still takes its reports, then leave nothing running.
    if (client && client->state() != auth::idle) {
        client->stop(0);
        recorder.wait_state(auth::idle, recorder.states().size() - 1, 20000);
    }
    environment->main_window = nullptr;
    client.reset();
    server.reset();
    WSACleanup();
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

void client_fixture::connect(const std::string& login, const std::string& password) {
    environment->login = login;
    environment->password = password;
    if (!client)
        client = std::make_unique<auth::c_client>(*environment);
    client->start();
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

std::string server_text(unsigned short port) {
    return "127.0.0.1:" + std::to_string(port);
}

} // namespace test
