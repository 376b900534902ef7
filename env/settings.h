// Keys of the settings table, named by their registry values.
#pragma once

namespace env {

enum setting : int {
    AUTH_SERVER = 0,
    AUTH_PORT = 1,
    AUTH_PROTOCOL = 2,
    AUTH_TYPE = 3,
    AUTH_PASSWD = 4,
    AUTH_LOGIN = 5,
    AUTH_SAVE = 6,
    RECONNECT_PERIOD = 7,
    APP_CAPTION = 8,
    AuthClient = 9, // the autostart command under the Run key
    LINK_PERSONAL = 10,
    PROTECT_SETTINGS = 11,
    LOG_LEVEL = 12,
};

constexpr int protocol_tcp = 6;
constexpr int protocol_udp = 17;
constexpr int type_ip = 1;       // IP address / password
constexpr int type_login = 2;    // login / password
constexpr int type_local_ip = 3; // local IP address / password

} // namespace env
