# The program's version lives in project(VERSION) alone. Everything else that states it is
# generated from there into ${AUTHCLIENT_GENERATED_DIR}: the header for the code, the resource
# script and the tests; the manifest; and release.env, which the packaging scripts read.
set(AUTHCLIENT_COMPANY "Разработчики клиента авторизации")
set(AUTHCLIENT_COPYRIGHT "© ${AUTHCLIENT_COMPANY}")
set(AUTHCLIENT_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

set(AUTHCLIENT_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

file(CONFIGURE OUTPUT ${AUTHCLIENT_GENERATED_DIR}/authclient_version.h @ONLY CONTENT [[
// Generated from the project's version (CMakeLists.txt); edit it there.
#pragma once

#define AUTHCLIENT_VERSION "@PROJECT_VERSION@"
#define AUTHCLIENT_VERSION_QUAD "@AUTHCLIENT_VERSION_QUAD@"
#define AUTHCLIENT_VERSION_BINARY @PROJECT_VERSION_MAJOR@, @PROJECT_VERSION_MINOR@, @PROJECT_VERSION_PATCH@, 0
#define AUTHCLIENT_COMPANY "@AUTHCLIENT_COMPANY@"
#define AUTHCLIENT_COPYRIGHT "@AUTHCLIENT_COPYRIGHT@"
]])

file(CONFIGURE OUTPUT ${AUTHCLIENT_GENERATED_DIR}/release.env @ONLY CONTENT [[
# Generated from CMakeLists.txt for the packaging scripts; source it.
AUTHCLIENT_VERSION='@PROJECT_VERSION@'
AUTHCLIENT_VERSION_QUAD='@AUTHCLIENT_VERSION_QUAD@'
AUTHCLIENT_COMPANY='@AUTHCLIENT_COMPANY@'
AUTHCLIENT_COPYRIGHT='@AUTHCLIENT_COPYRIGHT@'
]])

configure_file(${CMAKE_SOURCE_DIR}/res/AuthClient.manifest ${AUTHCLIENT_GENERATED_DIR}/AuthClient.manifest
               @ONLY)
