# Lists the undefined symbols of each object (nm -u) and fails when one is a
# C-library device or system function, a file stream that would open files
# inside the C++ library, past the platform layer, or a number reader whose
# result depends on the width of `long` (the layer's numbers.hpp gives the
# reader's result in every build).
#
#   -DNM=nm -DOBJECTS="a.o|b.o" [-DPROGRAM=exe] [-DEXPECT="sym|sym"]
#
# With EXPECT the check is inverted: it passes only when every expected
# symbol is reported (used to prove the guard notices a direct call).
# With PROGRAM it also checks that the shipped executable carries none of
# the virtual reader's code.
cmake_minimum_required(VERSION 3.25)

set(forbidden
  open open64 openat openat64 __open_2 __open64_2 __openat_2 __openat64_2 creat creat64
  close read __read_chk write pread pread64 __pread_chk __pread64_chk pwrite pwrite64
  readv writev
  lseek lseek64 ioctl mmap mmap64 munmap mremap
  stat stat64 fstat fstat64 lstat lstat64 fstatat fstatat64 __xstat __xstat64 __fxstat
  __fxstat64 __lxstat __lxstat64 statx
  fsync fdatasync sync poll __poll_chk ppoll select pselect epoll_wait
  usleep nanosleep sleep clock_nanosleep times clock_gettime gettimeofday time
  tcgetattr tcsetattr tcflush tcdrain cfsetispeed cfsetospeed cfmakeraw
  socket bind recv __recv_chk recvfrom recvmsg send sendto sendmsg connect
  mknod mknodat __xmknod __xmknodat unlink unlinkat system popen
  fopen fopen64 freopen fdopen opendir readdir readdir64 dup dup2 pipe pipe2
  fork vfork execl execv execve execvp
  atoi atol strtol strtoul __isoc23_strtol __isoc23_strtoul)

string(REPLACE "|" ";" objects "${OBJECTS}")
set(violations "")
foreach(object IN LISTS objects)
  execute_process(COMMAND ${NM} -u ${object}
    OUTPUT_VARIABLE listing RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${object}: ${errors}")
  endif()
  string(REGEX REPLACE "[ \t]*U[ \t]+" "" listing "${listing}")
  string(REPLACE "\n" ";" symbols "${listing}")
  foreach(symbol IN LISTS symbols)
    string(REGEX REPLACE "@.*$" "" bare "${symbol}")
    if(bare IN_LIST forbidden OR bare MATCHES "basic_(i|o)?fstream|basic_filebuf")
      list(APPEND violations "${bare}")
      message(STATUS "direct call in ${object}: ${bare}")
    endif()
  endforeach()
endforeach()

if(DEFINED PROGRAM)
  execute_process(COMMAND ${NM} -C ${PROGRAM} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${PROGRAM}")
  endif()
  if(listing MATCHES "vreader::")
    message(FATAL_ERROR "${PROGRAM} contains virtual reader code")
  endif()
endif()

if(DEFINED EXPECT)
  string(REPLACE "|" ";" expected "${EXPECT}")
  foreach(symbol IN LISTS expected)
    if(NOT symbol IN_LIST violations)
      message(FATAL_ERROR "the guard missed a direct call to ${symbol}")
    endif()
  endforeach()
  message(STATUS "the guard reported every planted call")
elseif(violations)
  list(REMOVE_DUPLICATES violations)
  message(FATAL_ERROR "objects call the C library directly: ${violations}")
endif()
