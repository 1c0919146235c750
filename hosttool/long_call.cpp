#include "hosttool/long_call.hpp"

#include "hosttool/interrupts.hpp"
#include "hosttool/terminal.hpp"

#include <chrono>
#include <cstdio>
#include <utility>

namespace tool {

LongCall::LongCall(std::string what, bool shown) : what_(std::move(what))
{
    if (shown && stderr_is_terminal())
        counter_ = std::thread([this] { count(); });
}

LongCall::~LongCall()
{
    if (!counter_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    done_changed_.notify_one();
    counter_.join();
}

void LongCall::count()
{
    int seconds = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_changed_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) {
        std::fprintf(stderr, "\r%s: %d s", what_.c_str(), ++seconds);
        std::fflush(stderr);
        set_line_open(true);
    }
    close_open_line();
}

}  // namespace tool
