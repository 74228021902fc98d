# Install rules and packages (`cmake --install`, `cpack`). Included last by
# the top-level CMakeLists.txt, when every target exists.
#
# Linux, relative to the prefix (relocatable: nothing names the prefix):
#   bin/torvane1, bin/torvane-list         RUNPATH $ORIGIN/../lib/torvane
#   lib/libwinseria.so.3 (+ .so link)      the serial library, soname libwinseria.so.3
#   include/winseria.h, lib/pkgconfig/winseria.pc, lib/cmake/winseria/
#   lib/torvane/libftd2xx.so               the vendor ABI over sysfs (attached converters)
#   lib/torvane/sim/libftd2xx.so           the simulated vendor library (--demo)
#   lib/udev/rules.d/, share/applications/, share/icons/, share/man/man1/, share/doc/torvane/
# The vendor-ABI libraries stay in a private folder: a system-wide
# libftd2xx.so would clash with the vendor's own Linux library.
#
# Windows (the zip): torvane1.exe, torvane-list.exe, winseria.dll with its
# import library and .def, winseria.h, README.txt at the top; the simulated
# FTD2XX.DLL only in demo\ with its own copies of the programs, since Windows
# loads a DLL from the program's folder before the system's and a simulated
# one there would hide the vendor's.

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
else()
  # Programs: the attached converters' library by default, found beside the
  # prefix; --demo reaches lib/torvane/sim relative to the program.
  set_target_properties(${torvane_programs} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/torvane")
  install(TARGETS ${torvane_programs} RUNTIME DESTINATION bin)

  set(library_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(TARGETS ftd2xx_linux LIBRARY DESTINATION lib/torvane PERMISSIONS ${library_permissions})
  install(TARGETS ftd2xx_sim LIBRARY DESTINATION lib/torvane/sim PERMISSIONS ${library_permissions})

  # The serial library for other programs: C header, pkg-config and a CMake
  # package (find_package(winseria) gives winseria::winseria).
  install(TARGETS winseria EXPORT winseriaTargets
          LIBRARY DESTINATION lib PERMISSIONS ${library_permissions})
  install(FILES ${PROJECT_SOURCE_DIR}/serial/include/winseria.h DESTINATION include)
  configure_file(${torvane_packaging}/linux/winseria.pc.in ${CMAKE_BINARY_DIR}/packaging/winseria.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/winseria.pc DESTINATION lib/pkgconfig)
  install(EXPORT winseriaTargets NAMESPACE winseria:: DESTINATION lib/cmake/winseria)
  include(CMakePackageConfigHelpers)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/winseriaConfigVersion.cmake
    VERSION ${TORVANE_WINSERIA_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${torvane_packaging}/linux/winseriaConfig.cmake
                ${CMAKE_BINARY_DIR}/packaging/winseriaConfigVersion.cmake
          DESTINATION lib/cmake/winseria)

  install(FILES ${torvane_packaging}/udev/99-torvane-ftdi.rules DESTINATION lib/udev/rules.d)
  install(FILES ${torvane_packaging}/linux/torvane1.desktop DESTINATION share/applications)
  install(FILES ${torvane_packaging}/icons/torvane.png DESTINATION share/icons/hicolor/256x256/apps)

  # Manual pages and the changelog compressed as Debian wants them: gzip -9,
  # no name or time stamp, so that two builds give the same bytes.
  set(compressed)
  foreach(source man/torvane1.1 man/torvane-list.1 debian/changelog)
    get_filename_component(name ${source} NAME)
    set(output ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${torvane_packaging}/${source} ${output}
      DEPENDS ${torvane_packaging}/${source} VERBATIM)
    list(APPEND compressed ${output})
  endforeach()
  add_custom_target(torvane_compressed_docs ALL DEPENDS ${compressed})
  list(FILTER compressed INCLUDE REGEX "\\.1\\.gz$")
  install(FILES ${compressed} DESTINATION share/man/man1)
  install(FILES ${torvane_packaging}/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION share/doc/torvane)
  include(${CMAKE_CURRENT_LIST_DIR}/TorvaneDebPackage.cmake)
endif()
