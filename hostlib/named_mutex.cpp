#include "hostlib/named_mutex.hpp"

namespace fendrac {

MutexHold::MutexHold(const char* name) : handle_(hostos::open_mutex(name))
{
    if (handle_ == nullptr)
        return;
    const hostos::WaitResult result = hostos::wait(handle_, hostos::kInfinite);
    owned_ = result == hostos::WaitResult::Signaled || result == hostos::WaitResult::Abandoned;
}

void MutexHold::release()
{
    if (handle_ == nullptr)
        return;
    if (owned_)
        hostos::release_mutex(handle_);
    hostos::close_handle(handle_);
    handle_ = nullptr;
    owned_ = false;
}

}  // namespace fendrac
