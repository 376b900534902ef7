if(WIN32)
    target_sources(authclient_win PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/address_watch.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client.cpp
        ${CMAKE_CURRENT_LIST_DIR}/client_state.cpp
        ${CMAKE_CURRENT_LIST_DIR}/pause.cpp
        ${CMAKE_CURRENT_LIST_DIR}/socket.cpp
        ${CMAKE_CURRENT_LIST_DIR}/stop_event.cpp
        ${CMAKE_CURRENT_LIST_DIR}/worker.cpp)
    target_link_libraries(authclient_win PUBLIC ws2_32 iphlpapi)
endif()
