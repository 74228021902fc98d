# GoogleTest: Debian's prebuilt libgtest natively; built from Debian's sources
# (package googletest, /usr/src/googletest) when cross-compiling.
if(NOT TORVANE_BUILD_TESTS)
  return()
endif()
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
  # Newer googletest sources define the namespaced aliases themselves.
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# torvane_add_test(NAME name SOURCES ... LIBS ... LABELS ...)
# Natively every test binary is registered through gtest_discover_tests so
# that CTest reports each case; LABELS let a preset pick a subset (the TSan run takes "serial").
function(torvane_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main torvane_warnings)
  if(CMAKE_CROSSCOMPILING)
    # Under Wine every program start costs a fraction of a second, and the
    # listing that discovery parses comes with CRLF line ends: one CTest test
    # per binary, run through the emulator.
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  else()
    gtest_discover_tests(${T_NAME} PROPERTIES LABELS "${T_LABELS}" DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
