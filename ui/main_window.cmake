target_sources(authclient_win PRIVATE ${CMAKE_CURRENT_LIST_DIR} / main_window.cpp)
