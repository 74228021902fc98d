# The Windows zip (CPack's ZIP generator), from a Release build:
# `cpack --preset win32-release` or `make package`. Included by
# cmake/TorvaneInstall.cmake; the demo\ folder of the build tree is made
# here as well, so that the build tree and the zip look alike.
#
#   torvane1.exe, torvane-list.exe   the programs, over the vendor's FTD2XX.DLL
#   winseria.dll                     the serial library, with libwinseria.dll.a
#                                    (MinGW import library), winseria.def (names
#                                    and ordinals, for other toolchains), winseria.h
#   README.txt, LICENSE.txt          CRLF line ends
#   demo\torvane1.exe, demo\torvane-list.exe, demo\FTD2XX.DLL (simulated)

# Version resource, icon and manifest of each PE file. `version` is dotted
# (1.0.0): the numeric FILEVERSION pads it with zeros to four parts.
function(torvane_win32_resources target description product version)
  set(TORVANE_RC_DESCRIPTION "${description}")
  set(TORVANE_RC_PRODUCT "${product}")
  set(TORVANE_RC_VERSION "${version}")
  string(REPLACE "." ";" parts "${version}.0.0.0")
  list(SUBLIST parts 0 4 parts)
  list(JOIN parts "," TORVANE_RC_VERSION_NUMBERS)
  set(TORVANE_RC_FILE_NAME $<TARGET_FILE_NAME:${target}>)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(TORVANE_RC_FILE_TYPE VFT_DLL)
    set(TORVANE_RC_PROGRAM "")
  else()
    # A program's icon, and its manifest (resource type 24, id 1).
    set(TORVANE_RC_FILE_TYPE VFT_APP)
    set(TORVANE_RC_PROGRAM "1 ICON \"${torvane_packaging}/icons/torvane.ico\"\n1 24 \"${torvane_packaging}/windows/torvane.manifest\"")
  endif()
  configure_file(${torvane_packaging}/windows/version.rc.in
                 ${CMAKE_BINARY_DIR}/packaging/${target}.rc.in @ONLY)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/packaging/${target}.rc
                INPUT ${CMAKE_BINARY_DIR}/packaging/${target}.rc.in)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/packaging/${target}.rc)
  set_property(SOURCE ${CMAKE_BINARY_DIR}/packaging/${target}.rc APPEND PROPERTY OBJECT_DEPENDS
               ${torvane_packaging}/icons/torvane.ico ${torvane_packaging}/windows/torvane.manifest)
endfunction()

enable_language(RC)
foreach(program ${torvane_programs})
  torvane_win32_resources(${program} "TORVANE" "TORVANE" ${PROJECT_VERSION})
endforeach()
torvane_win32_resources(winseria "winseria serial port library" "winseria" ${TORVANE_WINSERIA_VERSION})

# The build tree's demo\ folder: copies of the programs beside the simulated
# FTD2XX.DLL, in the folder d2xx/sim builds it into (always inside the build tree).
get_target_property(demo_dir ftd2xx_sim RUNTIME_OUTPUT_DIRECTORY)
set(demo_copies)
foreach(program ${torvane_programs})
  add_custom_command(OUTPUT ${demo_dir}/${program}.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}> ${demo_dir}/${program}.exe
    DEPENDS ${program} VERBATIM)
  list(APPEND demo_copies ${demo_dir}/${program}.exe)
endforeach()
add_custom_target(torvane_demo_folder ALL DEPENDS ${demo_copies})

install(TARGETS ${torvane_programs} RUNTIME DESTINATION .)
install(TARGETS ${torvane_programs} RUNTIME DESTINATION demo)
install(TARGETS winseria RUNTIME DESTINATION . ARCHIVE DESTINATION .)
install(TARGETS ftd2xx_sim RUNTIME DESTINATION demo ARCHIVE DESTINATION demo EXCLUDE_FROM_ALL)
# The texts with Windows line ends, so that Notepad on XP shows their lines.
configure_file(${torvane_packaging}/windows/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_SOURCE_DIR}/serial/include/winseria.h
              ${PROJECT_SOURCE_DIR}/serial/platform/win32/winseria.def
              ${CMAKE_BINARY_DIR}/packaging/README.txt
              ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME torvane-${PROJECT_VERSION}-win32)
set(CPACK_STRIP_FILES ON)
include(CPack)
