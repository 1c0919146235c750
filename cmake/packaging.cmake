# The packages, each from the build that makes its pieces (`cpack` in the
# build tree, or the package presets), into build/<preset>/packages/:
#   armhf build    the reader programs, a Debian package for the reader's
#                  root file system (component reader, /usr/bin);
#   Windows build  the PC library, its import library and header, the
#                  command-line tool and the example, as a zip (component host);
#   native build   the Linux PC library with its header and pkg-config file,
#                  and the command-line tool, a Debian package (component host).
# A build packs its one component only, whatever else it installs.
set(READER_PACKAGE_MAINTAINER "Reader service tools <reader-tools@example.com>"
  CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${READER_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

if(WIN32)
  set(package_component host)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME Fendrac)
  set(CPACK_PACKAGE_FILE_NAME Fendrac-${PROJECT_VERSION}-win32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "The reader's PC library for 32-bit Windows")
elseif(CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "arm")
    message(FATAL_ERROR "No Debian architecture known for the reader on ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  set(package_component reader)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_NAME ereader-service-tools)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
  # The programs load the C library and, some for the ARM division helpers,
  # the compiler's support library; never the C++ runtime (a test keeps it
  # out). Written out, since the cross build has no armhf package database
  # to ask; each version is that of the newest symbol version the programs
  # use, which scripts/check-packages holds against the programs.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.5)")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service and factory programs of the e-book reader")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "The display test, touch inspection, touch-panel, sub-CPU, boot mode,\n"
    "identity provisioning, past-log and USB hot-plug programs that service\n"
    "technicians and factory test engineers run on the reader.")
else()
  set(package_component host)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_NAME fendrac)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "The e-book reader's PC library and command-line tool")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "libfendrac reaches the reader over USB as its SCSI volumes: it finds the\n"
    "reader, copies files, creates update partitions and carries its HTTP\n"
    "tunnel. With the header, the pkg-config file and the fendrac tool.")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The tool's own library is in the package, not yet on the system.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/hostlib)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()

# The build tree, its project, the one component, the package root.
set(CPACK_INSTALL_CMAKE_PROJECTS ${CMAKE_BINARY_DIR} ${PROJECT_NAME} ${package_component} /)
include(CPack)
