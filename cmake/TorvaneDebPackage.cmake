# The Debian package (CPack's DEB generator), from a Release build:
# `cpack --preset linux-release` or `make package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TORVANE developers <dev@torvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lists FTDI USB-to-serial converters; serial port library")
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"TORVANE shows the FTDI USB-to-serial converters attached to the machine:
for each one its serial (COM) port, the description stored in its EEPROM,
the version of its driver and its serial number. The window (torvane1)
rebuilds the list when it becomes active and when converters are plugged
in or removed; torvane-list prints the same list as tab-separated rows or
JSON for scripts. Both read sysfs only: nothing is unbound or opened.

The package also carries winseria (libwinseria.so.3), a small C library
that opens one serial port and writes and reads single bytes with
time-outs, switches DTR and RTS and reads the modem lines, with its
header, a pkg-config file and a CMake package.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Depends from the binaries' own needs (dpkg-shlibdeps); the private
# vendor-ABI libraries are resolved inside the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS /usr/lib/torvane)
# shlibs for libwinseria.so.3; ldconfig through dpkg's trigger (CPack's own
# postinst and postrm call it as well).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
