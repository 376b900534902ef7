# The tray icon, the server message window and the properties sheet.
target_sources(authclient_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/tray_icon.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/message_window.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/properties.cpp)
