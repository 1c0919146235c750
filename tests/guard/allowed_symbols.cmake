# The symbols that code under the seam guard (check_seam.cmake) may use
# from outside its own objects, by their demangled names; each entry is a
# regular expression that must match the whole name. A name that is not
# here is a call past the layer the code must go through: the guard names
# it and the object that makes it. What is not listed fails, so a C-library
# call that a toolchain renames (a fortified `__read_chk`, a 64-bit time
# `__ioctl_time64`) fails as well.

# Never allowed, whatever a list below says: the C++ library's files, which
# open their file inside the library, and its threads.
set(seam_refused
  "(VTT|vtable|typeinfo) for std::basic_(i|o)?fstream<.*"
  "std::basic_(i|o)?fstream<.*"
  "std::basic_filebuf<.*"
  "std::filesystem::.*"
  "std::thread::.*")

# What the compiler and its runtimes add: the ARM EABI's division,
# unwinding and atexit helpers, static-initialisation guards, the stack
# protector, the 32-bit Windows stack probe and 64-bit division, the
# sanitizers' instrumentation and the coverage counters' (gcov).
set(seam_allowed_toolchain
  "_GLOBAL_OFFSET_TABLE_"
  "__dso_handle"
  "__aeabi_[a-z0-9_]+"
  "__cxa_(atexit|guard_acquire|guard_release|guard_abort|pure_virtual)"
  "__stack_chk_(fail|guard)"
  "__chkstk_ms"
  "__u?(div|mod)di3"
  "__(asan|ubsan|tsan|sanitizer|sancov)_.*"
  "__(start|stop)___sancov_.*"
  "__gcov_[a-z0-9_]+")

# The C library's pure functions and formatted output, which reach no device:
# memory and strings, characters, formatting to the standard streams and to
# a stream already open and its error state, the heap, the process's end and errno, option
# parsing, and the time of day as text. Fortified builds rename some of them
# (__printf_chk); a 64-bit time_t renames localtime.
set(seam_allowed_c
  "mem(chr|cmp|cpy|move|set)"
  "str(len|nlen|cmp|ncmp|ncasecmp|chr|rchr|str|cpy|ncpy)"
  "(is(alnum|alpha|cntrl|digit|graph|print|punct|space|upper|lower|xdigit)|tolower|toupper)"
  "(printf|fprintf|snprintf|vsnprintf|vfprintf|puts|fputs|putchar|fputc|fwrite|fflush|fclose|perror|setvbuf)"
  "ferror|clearerr"
  "stdout|stderr"
  "__(printf|fprintf|snprintf|vsnprintf|vfprintf|memcpy|memmove|memset|strcpy|strncpy)_chk"
  "malloc|calloc|realloc|free"
  "exit|atexit|__errno_location"
  "getopt|getopt_long|getopt_long_only|optarg|optind|opterr|optopt"
  "localtime|__localtime64|strftime")

# A reader program reaches devices, files, time and processes only through
# the platform layer.
set(seam_allowed_reader
  "sys::.*")

# The PC library's core reaches the system only through its OS layer
# (hostlib/os/); beside it the C++ library (std::mutex and
# std::shared_mutex among it, whose locks are inline), files through the C
# library's streams, wide text, and thread-local storage.
set(seam_allowed_host_core
  "hostos::.*"
  "std::.*"
  "operator (new|delete)(\\[\\])?\\(.*\\)"
  "(vtable|typeinfo) for __cxxabiv1::.*"
  "fopen|fopen64|fread"
  "wcslen|wmemcpy|mbstowcs"
  "pthread_mutex_(init|destroy|lock|unlock)"
  "pthread_rwlock_(init|destroy|rdlock|wrlock|unlock)"
  "__tls_get_addr|__emutls_get_address"
  "__mingw_v(f|sn)printf|__acrt_iob_func")
