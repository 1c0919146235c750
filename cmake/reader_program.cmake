# reader_module(NAME SOURCES files...)
#
# Code that several reader programs share (the raw-data table lookup, for
# one), compiled once with the programs' flags as an object library.
function(reader_module name)
  cmake_parse_arguments(M "" "" "SOURCES" ${ARGN})
  add_library(${name} OBJECT ${M_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
endfunction()

# reader_program(NAME MAIN file [SOURCES files...] [MODULES modules...] [LIBS libs...])
#
# Builds one reader program twice from the same objects:
#   NAME          the shipped program, bound to the C library (installed);
#   NAME_virtual  the same objects bound to the virtual reader's models.
# NAME_core is an object library of the SOURCES (everything but MAIN), for
# unit tests; MODULES are reader_module libraries the program uses. Each
# program also gets a seam guard test over all of its objects.
set(READER_PROGRAMS "" CACHE INTERNAL "")

function(reader_program name)
  cmake_parse_arguments(P "" "MAIN" "SOURCES;MODULES;LIBS" ${ARGN})
  set(objects $<TARGET_OBJECTS:${name}_main>)
  if(P_SOURCES)
    add_library(${name}_core OBJECT ${P_SOURCES})
    target_include_directories(${name}_core PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name}_core PRIVATE -fno-exceptions -fno-rtti)
    list(APPEND objects $<TARGET_OBJECTS:${name}_core>)
  endif()
  foreach(module IN LISTS P_MODULES)
    list(APPEND objects $<TARGET_OBJECTS:${module}>)
  endforeach()
  add_library(${name}_main OBJECT ${P_MAIN})
  target_include_directories(${name}_main PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name}_main PRIVATE -fno-exceptions -fno-rtti)

  add_executable(${name} ${objects})
  target_link_libraries(${name} PRIVATE platform_libc ${P_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${READER_SHIPPED_DIR})
  if(READER_INSTALL_PROGRAMS)
    install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT reader)
    if(READER_STRIP AND CMAKE_STRIP)
      install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\" COMMAND_ERROR_IS_FATAL ANY)"
        COMPONENT reader)
    endif()
  endif()

  if(READER_VIRTUAL)
    add_executable(${name}_virtual ${objects})
    target_link_libraries(${name}_virtual PRIVATE vreader_platform ${P_LIBS})
    set_target_properties(${name}_virtual PROPERTIES
      OUTPUT_NAME ${name}
      RUNTIME_OUTPUT_DIRECTORY ${READER_VIRTUAL_DIR})
  endif()

  set(READER_PROGRAMS ${READER_PROGRAMS} ${name} CACHE INTERNAL "")
  set(READER_OBJECTS_${name} "${objects}" CACHE INTERNAL "")
endfunction()
