# The Debian packages (CPack's DEB generator, one package per install
# component), from a Release build: `cpack --preset linux-release` or
# `make package`. Split as Debian splits a library and its programs
# (docs/packaging.md):
#   libwinseria3     the serial library
#   libwinseria-dev  what building against it needs
#   torvane-list     the console lister, the private vendor-ABI libraries, the udev rule
#   torvane          the Qt window; depends on torvane-list for the private libraries
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${torvane_deb_packages})
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TORVANE developers <dev@torvane.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(exact_version "(= ${PROJECT_VERSION})")
set(deb_control ${CMAKE_BINARY_DIR}/packaging/deb)

# Depends from the binaries' own needs (dpkg-shlibdeps). The private
# libftd2xx.so, which torvane1 takes from torvane-list, is found in the build
# tree; that dependency is named by hand below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS /usr/${TORVANE_PRIVATE_LIBDIR} ${TORVANE_FTD2XX_LINUX_DIR})

# Control files each package adds to what CPack writes, copied into a folder
# per package since CPack takes them by file name.
function(torvane_deb_control_files package)
  set(files)
  foreach(pair ${ARGN})
    string(REPLACE "=" ";" pair ${pair})
    list(GET pair 0 source)
    list(GET pair 1 name)
    configure_file(${torvane_packaging}/debian/${source} ${deb_control}/${package}/${name} COPYONLY)
    list(APPEND files ${deb_control}/${package}/${name})
  endforeach()
  string(TOUPPER ${package} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA ${files} PARENT_SCOPE)
endfunction()

# libwinseria3: shlibs (generated) and symbols for libwinseria.so.3, ldconfig
# through dpkg's trigger. CPack also writes a postinst and postrm calling
# ldconfig for any library in /usr/lib; packaging/debian/drop-ldconfig-scripts.cmake
# takes them out of the finished package.
set(CPACK_DEBIAN_LIBWINSERIA3_PACKAGE_NAME libwinseria3)
set(CPACK_DEBIAN_LIBWINSERIA3_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
torvane_deb_control_files(libwinseria3 triggers=triggers libwinseria3.symbols=symbols)
set(CPACK_POST_BUILD_SCRIPTS ${torvane_packaging}/debian/drop-ldconfig-scripts.cmake)
set(CPACK_DEBIAN_LIBWINSERIA3_DESCRIPTION
"serial port library: one port, single bytes with time-outs
winseria opens one serial port at a time and writes and reads single bytes
with per-byte time-outs through a worker thread, switches DTR and RTS, reads
the modem lines, changes speed and parity, and keeps the last error as text
and code. Its 21 C functions have the names and results of a Windows DLL of
the same name; on Linux the ports are ttyS, ttyUSB and ttyACM nodes.")

set(CPACK_DEBIAN_LIBWINSERIA-DEV_PACKAGE_NAME libwinseria-dev)
set(CPACK_DEBIAN_LIBWINSERIA-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBWINSERIA-DEV_PACKAGE_DEPENDS "libwinseria3 ${exact_version}")
set(CPACK_DEBIAN_LIBWINSERIA-DEV_DESCRIPTION
"serial port library: development files
winseria opens one serial port at a time and writes and reads single bytes
with per-byte time-outs, switches DTR and RTS and reads the modem lines.
This package holds its C header, the libwinseria.so link, a pkg-config file
(winseria), a CMake package (find_package(winseria) gives winseria::winseria)
and the winseria(3) manual page.")

# torvane-list: applies the udev rule to converters already attached.
set(CPACK_DEBIAN_TORVANE-LIST_PACKAGE_NAME torvane-list)
set(CPACK_DEBIAN_TORVANE-LIST_PACKAGE_SECTION utils)
torvane_deb_control_files(torvane-list torvane-list.postinst=postinst)
set(CPACK_DEBIAN_TORVANE-LIST_DESCRIPTION
"list of the attached FTDI USB-to-serial converters, for scripts
torvane-list prints the FTDI USB-to-serial converters attached to the
machine: for each one its serial (COM) port, the description stored in its
EEPROM, the version of its driver and its serial number, as tab-separated
rows or JSON. It reads sysfs only: nothing is unbound or opened.
--demo lists a simulated set of devices instead.
The package also carries the udev rule that gives the converters' ttyUSB
nodes to group dialout, and the private libraries the TORVANE programs list
the converters through.")

set(CPACK_DEBIAN_TORVANE_PACKAGE_NAME torvane)
set(CPACK_DEBIAN_TORVANE_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TORVANE_PACKAGE_DEPENDS "torvane-list ${exact_version}")
set(CPACK_DEBIAN_TORVANE_DESCRIPTION
"window listing the attached FTDI USB-to-serial converters
TORVANE shows the FTDI USB-to-serial converters attached to the machine:
for each one its serial (COM) port, the description stored in its EEPROM,
the version of its driver and its serial number. The window (torvane1)
rebuilds the list when it becomes active and when converters are plugged
in or removed. The console lister is in the package torvane-list.")
include(CPack)
