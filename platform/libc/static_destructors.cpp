// On ARM, the C++ ABI registers the destructor of an object with static
// storage (a program's module-level descriptor owner, for one) through
// __aeabi_atexit, which only the C++ runtime library defines. The reader's
// programs load no C++ runtime, so the binding defines it over the C
// library's own registration, __cxa_atexit: the same call with its first two
// arguments the other way round.
#if defined(__ARM_EABI__)

extern "C" int __cxa_atexit(void (*destroy)(void*), void* object, void* dso_handle);

extern "C" int __aeabi_atexit(void* object, void (*destroy)(void*), void* dso_handle)
{
    return __cxa_atexit(destroy, object, dso_handle);
}

#endif
