// A library call that runs long (a partition made from an image, or one
// that the library waits for): on a terminal, a line on standard error
// counts its seconds, so that a person sees that the tool is alive.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tool {

class LongCall {
public:
    // Counts while the object lives, when `shown` and standard error is a
    // terminal.
    LongCall(std::string what, bool shown);
    ~LongCall();
    LongCall(const LongCall&) = delete;
    LongCall& operator=(const LongCall&) = delete;

private:
    void count();

    std::string what_;
    std::mutex mutex_;
    std::condition_variable done_changed_;
    bool done_ = false;
    std::thread counter_;
};

}  // namespace tool
