# The reader's build under UndefinedBehaviorSanitizer: the reader's own
# toolchain, so `long`, pointers and time_t have the reader's sizes, and
# every overflow, bad shift or misaligned access stops the run.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-armhf.cmake)

# ARM rather than Thumb instructions: the address of a Thumb function has
# its lowest bit set, and GCC's alignment check reports every reference
# bound to such a function (a function passed by reference) as misaligned.
set(CMAKE_C_FLAGS_INIT "-fsanitize=undefined -fno-sanitize-recover=all -marm")
set(CMAKE_CXX_FLAGS_INIT "-fsanitize=undefined -fno-sanitize-recover=all -marm")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fsanitize=undefined")
