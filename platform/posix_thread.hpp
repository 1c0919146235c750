// Starting a detached POSIX thread, for both bindings of the platform layer.
#pragma once

#include <pthread.h>

namespace sys {

inline int start_posix_detached(void* (*body)(void*), void* argument) noexcept
{
    pthread_attr_t attributes;
    if (const int e = pthread_attr_init(&attributes))
        return e;
    int e = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    if (e == 0)
        e = pthread_create(&thread, &attributes, body, argument);
    pthread_attr_destroy(&attributes);
    return e;
}

}  // namespace sys
