# Drives the native reference auth server from test programs, Windows ones under Wine included.
# The host build tests its own server; the Windows builds use the one the host preset built.
if(WIN32)
    set(default_server "${CMAKE_SOURCE_DIR}/build/host/tools/auth-server/auth-server")
else()
    set(default_server "${CMAKE_BINARY_DIR}/tools/auth-server/auth-server")
endif()
set(AUTHCLIENT_SERVER_PATH "${default_server}"
    CACHE FILEPATH "The native auth-server binary that the tests start")
target_sources(test_common INTERFACE ${CMAKE_CURRENT_LIST_DIR}/auth_server.cpp)
target_compile_definitions(test_common INTERFACE AUTH_SERVER_PATH="${AUTHCLIENT_SERVER_PATH}")
