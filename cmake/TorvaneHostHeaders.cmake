# Header-only libraries for the cross build. Debian's headers of such a library
# are architecture-free, but the rest of the host's /usr/include must never
# reach the MinGW compiler: each library's folder is linked into a folder of
# its own, which becomes the include directory of an imported target.
#
# torvane_host_headers(TARGET HEADER)
#   Defines the global imported target TARGET (unless it exists) for the
#   folder that holds HEADER below /usr/include, e.g. nlohmann/json.hpp.
set(TORVANE_HOST_HEADERS_DIR ${CMAKE_BINARY_DIR}/_host_headers)

function(torvane_host_headers target header)
  if(TARGET ${target})
    return()
  endif()
  string(REGEX REPLACE "/.*" "" folder ${header})
  string(MAKE_C_IDENTIFIER "TORVANE_HOST_${folder}_DIR" found)
  find_path(${found} ${header} PATHS /usr/include REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  file(MAKE_DIRECTORY ${TORVANE_HOST_HEADERS_DIR})
  file(CREATE_LINK ${${found}}/${folder} ${TORVANE_HOST_HEADERS_DIR}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${TORVANE_HOST_HEADERS_DIR}
    INTERFACE_INCLUDE_DIRECTORIES ${TORVANE_HOST_HEADERS_DIR})
endfunction()
