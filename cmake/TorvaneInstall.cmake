# Install rules and packages (`cmake --install`, `cpack`). Included last by
# the top-level CMakeLists.txt, when every target exists.
#
# Linux, relative to the prefix (relocatable: nothing names the prefix), by
# component, one per Debian package (cmake/TorvaneDebPackage.cmake); <lib> is
# the multiarch folder lib/<triplet> (TORVANE_INSTALL_LIBDIR):
#   libwinseria3     <lib>/libwinseria.so.3*            the serial library, soname libwinseria.so.3
#   libwinseria-dev  <lib>/libwinseria.so, include/winseria.h, <lib>/pkgconfig/winseria.pc,
#                    <lib>/cmake/winseria/, share/man/man3/winseria.3.gz
#   torvane-list     bin/torvane-list                   RUNPATH $ORIGIN/../<lib>/torvane
#                    <lib>/torvane/libftd2xx.so         the vendor ABI over sysfs (attached converters)
#                    <lib>/torvane/sim/libftd2xx.so     the simulated vendor library (--demo)
#                    lib/udev/rules.d/, share/man/man1/torvane-list.1.gz
#   torvane          bin/torvane1 (same RUNPATH), share/applications/, share/icons/hicolor/,
#                    share/man/man1/torvane1.1.gz
# and share/doc/<package>/copyright, changelog.gz in each.
# The vendor-ABI libraries stay in a private folder: a system-wide
# libftd2xx.so would clash with the vendor's own Linux library.
#
# Windows (the zip): torvane1.exe, torvane-list.exe, winseria.dll with its
# import library and .def, winseria.h, README.txt and LICENSE.txt at the top;
# the simulated FTD2XX.DLL only in demo\ with its own copies of the programs,
# since Windows loads a DLL from the program's folder before the system's and
# a simulated one there would hide the vendor's.

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(torvane_programs)
foreach(program torvane1 torvane-list)
  if(TARGET ${program})
    list(APPEND torvane_programs ${program})
  endif()
endforeach()
set(torvane_packaging ${PROJECT_SOURCE_DIR}/packaging)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/TorvaneWin32Package.cmake)
  return()
endif()

set(libdir ${TORVANE_INSTALL_LIBDIR})
set(torvane_deb_packages libwinseria3 libwinseria-dev torvane-list torvane)
set(library_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(generated ${CMAKE_BINARY_DIR}/packaging)

# A stripped install (CPack, `cmake --install --strip`) also drops the
# sections Debian's own stripping drops: the compiler's .comment and .note.
function(torvane_strip_extra_sections component target folder)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${folder}/$<TARGET_FILE_NAME:${target}>\" COMMAND_ERROR_IS_FATAL ANY)
  endif()" COMPONENT ${component})
endfunction()

# Programs: the attached converters' library by default, found beside the
# prefix; --demo reaches <lib>/torvane/sim relative to the program.
foreach(program ${torvane_programs})
  set(component torvane-list)
  if(program STREQUAL "torvane1")
    set(component torvane)
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION bin COMPONENT ${component})
  # The build tree's RUNPATH (app/CMakeLists.txt) made relative to the program.
  get_target_property(build_runpath ${program} TORVANE_BUILD_RUNPATH)
  install(CODE "file(RPATH_CHANGE FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/$<TARGET_FILE_NAME:${program}>\"
    OLD_RPATH \"${build_runpath}\" NEW_RPATH \"\\\$ORIGIN/../${TORVANE_PRIVATE_LIBDIR}\")" COMPONENT ${component})
  torvane_strip_extra_sections(${component} ${program} bin)
endforeach()

install(TARGETS ftd2xx_linux LIBRARY DESTINATION ${TORVANE_PRIVATE_LIBDIR}
        PERMISSIONS ${library_permissions} COMPONENT torvane-list)
torvane_strip_extra_sections(torvane-list ftd2xx_linux ${TORVANE_PRIVATE_LIBDIR})
install(TARGETS ftd2xx_sim LIBRARY DESTINATION ${TORVANE_PRIVATE_LIBDIR}/sim
        PERMISSIONS ${library_permissions} COMPONENT torvane-list)
torvane_strip_extra_sections(torvane-list ftd2xx_sim ${TORVANE_PRIVATE_LIBDIR}/sim)

# The serial library for other programs (libwinseria3), with its C header,
# pkg-config file, CMake package (find_package(winseria) gives
# winseria::winseria) and manual page (libwinseria-dev).
install(TARGETS winseria EXPORT winseriaTargets
        LIBRARY DESTINATION ${libdir} PERMISSIONS ${library_permissions}
                COMPONENT libwinseria3 NAMELINK_COMPONENT libwinseria-dev)
torvane_strip_extra_sections(libwinseria3 winseria ${libdir})
install(FILES ${PROJECT_SOURCE_DIR}/serial/include/winseria.h DESTINATION include COMPONENT libwinseria-dev)
# The pkg-config file names the prefix it is installed under (the one given
# at install time, so the paths it prints are clean): configured here with
# everything else, and again when installed, for @CMAKE_INSTALL_PREFIX@.
set(TORVANE_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")
configure_file(${torvane_packaging}/linux/winseria.pc.in ${generated}/winseria.pc.in @ONLY)
install(CODE "configure_file(\"${generated}/winseria.pc.in\" \"${generated}/installed/winseria.pc\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${libdir}/pkgconfig\" TYPE FILE
       PERMISSIONS ${library_permissions} FILES \"${generated}/installed/winseria.pc\")"
  COMPONENT libwinseria-dev)
install(EXPORT winseriaTargets NAMESPACE winseria:: DESTINATION ${libdir}/cmake/winseria COMPONENT libwinseria-dev)
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${generated}/winseriaConfigVersion.cmake
  VERSION ${TORVANE_WINSERIA_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${torvane_packaging}/linux/winseriaConfig.cmake ${generated}/winseriaConfigVersion.cmake
        DESTINATION ${libdir}/cmake/winseria COMPONENT libwinseria-dev)

install(FILES ${torvane_packaging}/udev/99-torvane-ftdi.rules DESTINATION lib/udev/rules.d COMPONENT torvane-list)
install(FILES ${torvane_packaging}/linux/torvane1.desktop DESTINATION share/applications COMPONENT torvane)
file(GLOB icons ${torvane_packaging}/icons/hicolor/torvane-*.png)
foreach(icon ${icons})
  string(REGEX MATCH "[0-9]+\\.png$" size ${icon})
  string(REPLACE ".png" "" size ${size})
  install(FILES ${icon} DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME torvane.png COMPONENT torvane)
endforeach()

# Manual pages (with the project's version) and the changelog, compressed as
# Debian wants them: gzip -9n, no name or time stamp, so that two builds give
# the same bytes.
set(compressed)
foreach(source man/torvane1.1 man/torvane-list.1 man/winseria.3 debian/changelog)
  get_filename_component(name ${source} NAME)
  configure_file(${torvane_packaging}/${source} ${generated}/${name} @ONLY)
  set(output ${generated}/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${generated}/${name} ${output}
    DEPENDS ${generated}/${name} VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(torvane_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${generated}/torvane1.1.gz DESTINATION share/man/man1 COMPONENT torvane)
install(FILES ${generated}/torvane-list.1.gz DESTINATION share/man/man1 COMPONENT torvane-list)
install(FILES ${generated}/winseria.3.gz DESTINATION share/man/man3 COMPONENT libwinseria-dev)

# Each package's copyright and changelog, in its own share/doc folder.
foreach(package ${torvane_deb_packages})
  install(FILES ${torvane_packaging}/debian/copyright ${generated}/changelog.gz
          DESTINATION share/doc/${package} COMPONENT ${package})
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/TorvaneDebPackage.cmake)
