# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS). CPack's DEB generator
# gives every package with a shared library under /usr/lib a postinst and a postrm that call
# ldconfig; the package's ldconfig trigger (cmake/debian/triggers) does that job the way dpkg
# does it today, once per dpkg run, so the scripts are taken out of those packages again.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/libquarn[0-9]+_[^/]*\\.deb$")
    continue()
  endif()
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
