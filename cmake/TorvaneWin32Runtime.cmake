# What every target of the 32-bit Windows build shares, so that the programs
# and DLLs run on Windows XP SP3 and later (docs/windows.md, "Supported
# Windows versions").
#
# - The Windows headers declare nothing newer than XP: a call to a later
#   function in our own code fails to compile. A test that runs under Wine
#   only may raise the level in its own source.
# - The static winpthreads runtime imports GetTickCount64 (Vista); the
#   binding in common/win32/tick_count64_xp.cpp takes the place of that
#   import in every program and DLL (link_libraries: the targets defined
#   after this file is included, in every folder below).
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
# CLI11 (torvane-list's options) checks paths with stat() instead of
# std::filesystem, whose imports keep Windows 95/98/Me out.
add_compile_definitions(CLI11_HAS_FILESYSTEM=0)

add_library(torvane_xp_runtime OBJECT ${PROJECT_SOURCE_DIR}/common/win32/tick_count64_xp.cpp)
target_include_directories(torvane_xp_runtime PRIVATE ${PROJECT_SOURCE_DIR}/common/include)
target_link_libraries(torvane_xp_runtime PRIVATE torvane_warnings)
# Into what the linker makes a PE file of; a static library would carry a
# copy that the link never takes.
set(linked_type $<TARGET_PROPERTY:TYPE>)
link_libraries($<$<OR:$<STREQUAL:${linked_type},EXECUTABLE>,$<STREQUAL:${linked_type},SHARED_LIBRARY>,$<STREQUAL:${linked_type},MODULE_LIBRARY>>:torvane_xp_runtime>)
unset(linked_type)
