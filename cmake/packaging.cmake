# The packages, each from the build that makes its pieces (`cpack` in the
# build tree, or the package presets), into build/<preset>/packages/:
#   armhf build    the reader programs, a Debian package for the reader's
#                  root file system (component reader, /usr/bin);
#   Windows build  the PC library, its import library and header, the
#                  command-line tool and the example, as a zip (component host);
#   native build   the Linux PC library as Debian packages: the run-time
#                  library (component library), its development files
#                  (development) and the command-line tool (host).
# A build packs its own components only, whatever else it installs.
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
  # Toolchain files name the processor as they like (arm, armv7l, armv7-a):
  # any 32-bit ARM is the reader's armhf; another processor keeps its name,
  # since only the Debian package carries it.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
    set(reader_architecture armhf)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(reader_architecture arm64)
  else()
    set(reader_architecture ${CMAKE_SYSTEM_PROCESSOR})
  endif()
  set(package_component reader)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_NAME ereader-service-tools)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${reader_architecture})
  # The programs load the C library and, some for the ARM division helpers,
  # the compiler's support library; never the C++ runtime (a test keeps it
  # out). Written out: the armhf C libraries installed beside the cross
  # toolchain would be found by qemu-user's programs in place of the
  # toolchain's own; each version is that of the newest symbol version the
  # programs use, which scripts/check-packages holds against the programs.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.5)")
  set(CPACK_DEBIAN_PACKAGE_SOURCE ereader-tools)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service and factory programs of the e-book reader")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "The display test, touch inspection, touch-panel, sub-CPU, boot mode,\n"
    "identity provisioning, past-log and USB hot-plug programs that service\n"
    "technicians and factory test engineers run on the reader.")
else()
  # The Linux PC side as Debian splits a library: the run-time package by
  # the soname, the development package, the tool's own package.
  set(package_component library development host)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_NAME fendrac)
  set(CPACK_DEBIAN_PACKAGE_SOURCE ereader-tools)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  # The tool's library is built here, not yet on the system.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/hostlib)
  set(runtime_package libfendrac${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${runtime_package})
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
  string(CONCAT CPACK_COMPONENT_LIBRARY_DESCRIPTION
    "PC library of the e-book reader's USB connection\n"
    "libfendrac reaches the reader over USB as its SCSI volumes: it finds the\n"
    "reader, copies files, creates update partitions and carries its HTTP\n"
    "tunnel.")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libfendrac-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${runtime_package} (= ${PROJECT_VERSION})")
  string(CONCAT CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "PC library of the e-book reader's USB connection (development files)\n"
    "The header, the link for -lfendrac, the pkg-config file and the CMake\n"
    "package (find_package(Fendrac CONFIG), target Fendrac::fendrac) for\n"
    "programs that use libfendrac.")
  set(CPACK_DEBIAN_HOST_PACKAGE_NAME fendrac)
  set(CPACK_DEBIAN_HOST_PACKAGE_SECTION utils)
  # What the library's shlibs file says of it (the library is not yet on the
  # system for dpkg-shlibdeps to find): this version or a later one.
  set(CPACK_DEBIAN_HOST_PACKAGE_DEPENDS "${runtime_package} (>= ${PROJECT_VERSION})")
  string(CONCAT CPACK_COMPONENT_HOST_DESCRIPTION
    "command-line tool for the e-book reader over USB\n"
    "fendrac runs the reader's USB commands from a Linux PC through\n"
    "libfendrac: volumes, information, files, update partitions, the HTTP\n"
    "tunnel and the eject, for service engineers' scripts.")
  # CPack writes ldconfig calls into the library's maintainer scripts; the
  # package takes Debian's ldconfig trigger in their place.
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_ldconfig_trigger.cmake)
endif()

# Every Debian package carries the copyright and the changelog in its
# documentation folder, the maintainer and the version from here.
if(NOT WIN32)
  set(debian_doc ${CMAKE_BINARY_DIR}/packaging)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in ${debian_doc}/copyright @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${debian_doc}/changelog @ONLY)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  add_custom_command(OUTPUT ${debian_doc}/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${debian_doc}/changelog
    DEPENDS ${debian_doc}/changelog)
  add_custom_target(debian_changelog ALL DEPENDS ${debian_doc}/changelog.gz)
  set(doc_packages "")
  if(CMAKE_CROSSCOMPILING AND READER_INSTALL_PROGRAMS)
    set(doc_packages "reader ereader-service-tools")
  elseif(NOT CMAKE_CROSSCOMPILING AND READER_HOST_SIDE)
    set(doc_packages "library ${runtime_package}" "development libfendrac-dev" "host fendrac")
  endif()
  foreach(entry IN LISTS doc_packages)
    separate_arguments(entry)
    list(GET entry 0 component)
    list(GET entry 1 package)
    install(FILES ${debian_doc}/copyright ${debian_doc}/changelog.gz
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()

# The build tree, its project, its components (ALL: those of
# CPACK_COMPONENTS_ALL, one package each), the package root.
set(CPACK_COMPONENTS_ALL ${package_component})
list(LENGTH package_component component_count)
if(component_count GREATER 1)
  set(CPACK_INSTALL_CMAKE_PROJECTS ${CMAKE_BINARY_DIR} ${PROJECT_NAME} ALL /)
else()
  set(CPACK_INSTALL_CMAKE_PROJECTS ${CMAKE_BINARY_DIR} ${PROJECT_NAME} ${package_component} /)
endif()
include(CPack)
