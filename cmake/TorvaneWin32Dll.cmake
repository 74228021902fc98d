# __stdcall DLLs of the Windows build, exported under plain names.
#
# torvane_win32_stdcall_dll(TARGET DEF_FILE)
#   Exports exactly what DEF_FILE lists (decorated names, name@bytes), under
#   the plain names (--kill-at), with the compiler's runtime linked in. The
#   linker's own import library would then name the plain symbols, which a C
#   caller's decorated references never match; it is replaced by one that
#   dlltool makes from the same file, so that programs link against the DLL
#   the ordinary way.
find_program(TORVANE_DLLTOOL NAMES i686-w64-mingw32-dlltool dlltool REQUIRED NO_CMAKE_FIND_ROOT_PATH)

function(torvane_win32_stdcall_dll target def_file)
  target_sources(${target} PRIVATE ${def_file})
  target_link_options(${target} PRIVATE -Wl,--kill-at -static)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${TORVANE_DLLTOOL} --kill-at --input-def ${def_file}
            --dllname $<TARGET_FILE_NAME:${target}> --output-lib $<TARGET_LINKER_FILE:${target}>
    COMMENT "Import library for $<TARGET_FILE_NAME:${target}> from ${def_file}"
    VERBATIM)
endfunction()
