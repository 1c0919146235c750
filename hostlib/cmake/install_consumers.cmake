# The Linux library installed for the programs that link it: the library
# with its soname link and -lfendrac link, the headers, a pkg-config file
# and a CMake package (find_package(Fendrac CONFIG) gives Fendrac::fendrac).
# Both find the files relative to where they are installed, so the tree can
# be put under any prefix (cmake --install --prefix, DESTDIR, a copy).
# The library itself is the run-time component (`library`); what building
# against it needs is `development`.
install(TARGETS fendrac EXPORT FendracTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
install(FILES include/fendrac.h ${READER_GENERATED_INCLUDE}/fendrac_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# pkg-config: the prefix is the pkgconfig folder's own, climbed up.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(FENDRAC_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(FENDRAC_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(FENDRAC_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH up "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  set(FENDRAC_PC_PREFIX "\${pcfiledir}/${up}")
  set(FENDRAC_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(FENDRAC_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(fendrac.pc.in ${CMAKE_CURRENT_BINARY_DIR}/fendrac.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/fendrac.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# CMake: the exported target, its version file and the config that loads it.
set(FENDRAC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Fendrac)
install(EXPORT FendracTargets NAMESPACE Fendrac:: DESTINATION ${FENDRAC_CMAKE_DIR} COMPONENT development)
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/FendracConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/FendracConfig.cmake
  INSTALL_DESTINATION ${FENDRAC_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/FendracConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/FendracConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/FendracConfigVersion.cmake
  DESTINATION ${FENDRAC_CMAKE_DIR} COMPONENT development)
