#include "vreader/model/board/device_table.hpp"

#include "vreader/model/devices/display/epdc_requests.hpp"
#include "vreader/model/devices/past_log/past_log_requests.hpp"
#include "vreader/model/state/faults.hpp"

namespace vreader {

void use_device_table()
{
    static const bool added = [] {
        add_fault_requests(epdc::kFaultRequests);
        add_fault_requests(past_log::kFaultRequests);
        return true;
    }();
    (void)added;
}

}  // namespace vreader
