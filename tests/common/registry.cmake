# The registry sandbox: HKEY_CURRENT_USER mapped onto a scratch key for a test's lifetime.
if(WIN32)
    target_sources(test_common INTERFACE ${CMAKE_CURRENT_LIST_DIR}/registry_sandbox.cpp)
    target_link_libraries(test_common INTERFACE advapi32)
endif()
