# The simulated vendor library as FTD2XX.DLL, for the cross build. Included by
# d2xx/sim/CMakeLists.txt on Windows only.

# nlohmann/json is header-only: Debian's headers, kept apart from the rest of
# the host's /usr/include.
torvane_host_headers(nlohmann_json::nlohmann_json nlohmann/json.hpp)

include(${PROJECT_SOURCE_DIR}/cmake/TorvaneWin32Dll.cmake)

# Makes `target` FTD2XX.DLL: the names of ftd2xx_sim.def exported and nothing
# else, the compiler's runtime linked in. The DLL goes to the programs'
# demo\ folder, never beside the programs themselves: Windows loads a DLL from
# the program's folder before the system's, so it would hide the vendor's.
# The tests get copies of it (tests/CMakeLists.txt).
function(torvane_build_as_ftd2xx_dll target)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME FTD2XX PREFIX "" SUFFIX ".DLL")
  if(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/demo)
  endif()
  torvane_win32_stdcall_dll(${target} ${PROJECT_SOURCE_DIR}/d2xx/win32/ftd2xx_sim.def)
endfunction()
