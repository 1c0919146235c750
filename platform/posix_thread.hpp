// Starting a detached POSIX thread, for both bindings of the platform layer.
#pragma once

#include <pthread.h>
#include <signal.h>

namespace sys {

// The thread starts with SIGPIPE blocked: a write of its to a pipe whose
// reader is gone (the main thread closed it on the way out) fails with
// EPIPE instead of ending the whole program before it reports.
inline int start_posix_detached(void* (*body)(void*), void* argument) noexcept
{
    pthread_attr_t attributes;
    if (const int e = pthread_attr_init(&attributes))
        return e;
    int e = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    sigset_t pipe_signal, previous;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
    pthread_t thread;
    if (e == 0)
        e = pthread_create(&thread, &attributes, body, argument);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pthread_attr_destroy(&attributes);
    return e;
}

}  // namespace sys
