# The packet format in every build; the server smoke test starts the native reference server
# (the Windows builds use the one that the host preset built).
authclient_test(packet_tests packet_test.cpp packet_server_smoke_test.cpp
                $<$<NOT:$<BOOL:${WIN32}>>:packet_libcrypto_test.cpp>)
target_link_libraries(packet_tests PRIVATE authclient_core test_common)
if(NOT WIN32)
    find_package(OpenSSL REQUIRED COMPONENTS Crypto)
    target_link_libraries(packet_tests PRIVATE OpenSSL::Crypto)
    add_dependencies(packet_tests auth-server)
    # The reference server's behaviour: exchanges, faults, control commands, start-up forms.
    authclient_test(server_tests server_test.cpp)
    target_link_libraries(server_tests PRIVATE test_common)
    add_dependencies(server_tests auth-server)
endif()
