# Compiles every source of the portable USB model with the 32-bit Windows
# compiler, then links them with a small program, so that a POSIX call or a
# header the Windows runtime lacks fails here and not in the Windows build.
#   CXX       the MinGW C++ compiler
#   SOURCES   the model's sources, '|'-separated, relative to SOURCE_DIR
#   PROJECT   the project's source directory (the include root)
#   JSON      the directory holding nlohmann/
#   PROBE     the program's source
#   WORK      a directory for the objects
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/include)
# The JSON headers alone: the host's /usr/include would shadow MinGW's C headers.
file(CREATE_LINK ${JSON}/nlohmann ${WORK}/include/nlohmann SYMBOLIC)
set(flags -std=c++20 -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Werror
          -I${PROJECT} -isystem ${WORK}/include)
string(REPLACE "|" ";" SOURCES "${SOURCES}")
set(objects)
foreach(source IN LISTS SOURCES ITEMS ${PROBE})
  if(NOT IS_ABSOLUTE ${source})
    set(source ${SOURCE_DIR}/${source})
  endif()
  get_filename_component(name ${source} NAME_WE)
  execute_process(COMMAND ${CXX} ${flags} -c ${source} -o ${WORK}/${name}.o RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${source} does not compile for Windows")
  endif()
  list(APPEND objects ${WORK}/${name}.o)
endforeach()
execute_process(COMMAND ${CXX} -static ${objects} -o ${WORK}/usb_windows_probe.exe RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the USB model does not link for Windows")
endif()
message(STATUS "the USB model builds for Windows: ${WORK}/usb_windows_probe.exe")
