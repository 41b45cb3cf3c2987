# Windows test executables run under Wine, in one environment (a prefix, an Xvfb display and a
# wineserver in ${TAVORI_WINE_STATE}) that the ctest fixture `wine` brings up and down
# (tests/harness).
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

# Tests that share what one Wine environment holds once: the driver's single-instance mutex and
# named mappings, the virtual pens' block, and the desktop its virtual cameras film. They run one
# at a time, every other test beside them; their chain is the longest of a run, so each is started
# first whenever the lock is free (ctest starts the costliest first).
set(TAVORI_DRIVER_LOCK wine_driver)
set(TAVORI_DRIVER_COST 3000)

# tavori_wine_test(NAME...): the properties every test run in the shared environment has, and the
# label (win or e2e) of its kind.
function(tavori_wine_test label)
  set_tests_properties(${ARGN} PROPERTIES LABELS ${label} FIXTURES_REQUIRED wine)
endfunction()

# tavori_wine_gtest(target LABEL win|e2e [DRIVER]): one test per case. The cases
# are read from the sources (TEST, TEST_F, TEST_P): listing them by running the executable would
# need Wine before ctest starts. The cases of one executable run one at a time, since they share
# its folder as their program folder; DRIVER: they share the environment's driver too.
function(tavori_wine_gtest target)
  cmake_parse_arguments(arg "DRIVER" "LABEL" "" ${ARGN})
  if(NOT TAVORI_RUN_WINE_TESTS)
    return()
  endif()
  gtest_add_tests(TARGET ${target} TEST_LIST cases)
  set(locks ${target})
  set(cost 0)
  if(arg_DRIVER)
    list(APPEND locks ${TAVORI_DRIVER_LOCK})
    set(cost ${TAVORI_DRIVER_COST})
  endif()
  tavori_wine_test(${arg_LABEL} ${cases})
  set_tests_properties(${cases} PROPERTIES RESOURCE_LOCK "${locks}" TIMEOUT 240 COST ${cost}
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()
