# Run by CPack after it made the Debian packages: a package that holds a
# shared library gets Debian's ldconfig trigger (a `triggers` file with
# "activate-noawait ldconfig") in place of the postinst and postrm that
# call ldconfig, which CPack writes and Debian no longer wants. The files
# of the package stay as they are.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/ldconfig-trigger)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  if(EXISTS ${tree}/DEBIAN/postinst)
    file(READ ${tree}/DEBIAN/postinst postinst)
    if(postinst MATCHES "ldconfig")
      file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
      file(WRITE ${tree}/DEBIAN/triggers "activate-noawait ldconfig\n")
      execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz --build ${tree} ${package}
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
