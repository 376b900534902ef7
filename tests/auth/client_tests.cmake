if(WIN32)
    authclient_test(client_tests
        ${CMAKE_CURRENT_LIST_DIR}/client_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client_log_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client_lifecycle_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client_fault_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client_recovery_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client_fixture.cpp)
    target_sources(client_tests PRIVATE $<TARGET_OBJECTS:authclient_res>)
    target_link_libraries(client_tests PRIVATE test_common)
endif()
