# Cross build for 64-bit Windows with the posix-threads mingw-w64 compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
get_filename_component(AUTHCLIENT_WINE_EXEC ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${AUTHCLIENT_WINE_EXEC})
