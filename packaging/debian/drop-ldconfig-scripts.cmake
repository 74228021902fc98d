# Run by cpack after the packages are built (CPACK_POST_BUILD_SCRIPTS):
# takes the postinst and postrm that CPack writes to call ldconfig out of the
# libwinseria3 package, which activates dpkg's ldconfig trigger instead
# (Debian policy 8.1.1; lintian's maintscript-calls-ldconfig).
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "/libwinseria3_[^/]*\\.deb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/libwinseria3-repack)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
