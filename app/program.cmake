add_executable(AuthClient WIN32 ${CMAKE_CURRENT_LIST_DIR}/main.cpp $<TARGET_OBJECTS:authclient_res>)
target_link_libraries(AuthClient PRIVATE authclient_win)
authclient_warnings(AuthClient)
set_target_properties(AuthClient PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
