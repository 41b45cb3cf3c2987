# The version lives in the VERSION file at the top of the tree ("major.minor.build"). It becomes
# TAVORI_VERSION here, TavoriVersion.h for the code and the resources, and the package file names.
file(STRINGS ${PROJECT_SOURCE_DIR}/VERSION TAVORI_VERSION LIMIT_COUNT 1)
string(STRIP "${TAVORI_VERSION}" TAVORI_VERSION)
if(NOT TAVORI_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must read major.minor.build, not '${TAVORI_VERSION}'")
endif()
set(TAVORI_VERSION_LINE "Tavori ${TAVORI_VERSION}")  # the About box's version line
set(TAVORI_VERSION_COMMA "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/VERSION)
set(TAVORI_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(CONFIGURE OUTPUT ${TAVORI_GENERATED_DIR}/TavoriVersion.h CONTENT [[
#pragma once
#define TAVORI_VERSION_STRING "@TAVORI_VERSION@"
#define TAVORI_VERSION_COMMA @TAVORI_VERSION_COMMA@
#define TAVORI_VERSION_LINE "@TAVORI_VERSION_LINE@"
]] @ONLY)
# Every target that compiles res/Tavori.rc (the program, and tests that carry its dialogs) finds it.
include_directories(${TAVORI_GENERATED_DIR})
