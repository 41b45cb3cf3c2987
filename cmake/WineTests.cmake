# Windows test executables run under Wine. `./run test` brings one Wine environment (prefix, Xvfb,
# wineserver) up in ${TAVORI_WINE_STATE} before ctest and down after it.
set(TAVORI_WINE_STATE ${CMAKE_BINARY_DIR}/wine-env)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/harness/wine-run ${TAVORI_WINE_STATE})
  set(TAVORI_RUN_WINE_TESTS ON)
else()
  set(TAVORI_RUN_WINE_TESTS OFF)  # an i686 exe under wine64 exits 0 without running
endif()

set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
if(NOT TARGET gtest)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
include(GoogleTest)

# tavori_wine_gtest(target): discovers the tests when ctest runs (inside the Wine environment).
function(tavori_wine_gtest target)
  if(NOT TAVORI_RUN_WINE_TESTS)
    return()
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 240)
endfunction()
