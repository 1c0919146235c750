# reader_program(NAME MAIN file SOURCES files... [LIBS libs...])
#
# Builds one reader program twice from the same objects:
#   NAME          the shipped program, bound to the C library (installed);
#   NAME_virtual  the same objects bound to the virtual reader's models.
# NAME_core is an object library of everything but MAIN, for unit tests.
# Each program also gets a seam guard test over its objects.
set(READER_PROGRAMS "" CACHE INTERNAL "")

function(reader_program name)
  cmake_parse_arguments(P "" "MAIN" "SOURCES;LIBS" ${ARGN})
  add_library(${name}_core OBJECT ${P_SOURCES})
  target_include_directories(${name}_core PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name}_core PRIVATE -fno-exceptions -fno-rtti)
  add_library(${name}_main OBJECT ${P_MAIN})
  target_include_directories(${name}_main PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name}_main PRIVATE -fno-exceptions -fno-rtti)

  add_executable(${name} $<TARGET_OBJECTS:${name}_main> $<TARGET_OBJECTS:${name}_core>)
  target_link_libraries(${name} PRIVATE platform_libc ${P_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${READER_SHIPPED_DIR})
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  if(READER_VIRTUAL)
    add_executable(${name}_virtual $<TARGET_OBJECTS:${name}_main> $<TARGET_OBJECTS:${name}_core>)
    target_link_libraries(${name}_virtual PRIVATE vreader_platform ${P_LIBS})
    set_target_properties(${name}_virtual PROPERTIES
      OUTPUT_NAME ${name}
      RUNTIME_OUTPUT_DIRECTORY ${READER_VIRTUAL_DIR})
  endif()

  set(READER_PROGRAMS ${READER_PROGRAMS} ${name} CACHE INTERNAL "")
endfunction()
