#include "hostlib/named_mutex.hpp"

namespace fendrac {

MutexHold::MutexHold(const char* name) : handle_(hostos::open_mutex(name))
{
    if (handle_ == nullptr)
        return;
    owned_ = hostos::owns(hostos::wait(handle_, hostos::kInfinite));
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
