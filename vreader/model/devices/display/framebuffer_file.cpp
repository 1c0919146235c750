#include "vreader/model/devices/display/framebuffer_file.hpp"

#include "vreader/model/devices/display/display_files.hpp"
#include "vreader/model/devices/display/epdc_controller.hpp"
#include "vreader/model/devices/display/epdc_requests.hpp"

#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

namespace vreader {

std::int64_t FramebufferFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                                   std::unique_ptr<DeviceFile>& out)
{
    Node node{path, std::string(kFramebufferDevice), context.dir.file(kMemoryFile)};
    int access = 0;
    HostFd memory;
    const std::int64_t result = open_node(context, node, flags, fd, access, memory);
    if (result >= 0)
        out.reset(new FramebufferFile(context, std::move(node), access, std::move(memory)));
    return result;
}

void FramebufferFile::fill_stat(struct stat& st) const { char_device_stat(st, kFramebufferMajor, 0); }

std::int64_t FramebufferFile::content_size() const { return memory_size(context_.dir.config()); }

std::int64_t FramebufferFile::ioctl(unsigned long request, void* arg)
{
    // The kernel passes request numbers as 32-bit values.
    const auto number = static_cast<std::uint32_t>(request);
    const epdc::Request* known = epdc::find_request(number);
    if (known == nullptr) {
        DeviceRequest unknown = node_request("unknown");
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", number);
        unknown.line().add("number", hex);
        if (const auto ended = unknown.start_unfaulted())
            return *ended;
        return unknown.finish(-ENOTTY);
    }
    DeviceRequest asked = node_request(known->name);
    if (const auto ended = asked.start(FaultEnds::None))
        return *ended;
    const FaultHit& fault = asked.fault();
    EpdcKeptState state(asked.session());
    RequestCall call{asked.session(), state, asked.line(), arg, fault.error};
    const std::int64_t result = epdc_request(known->number, call);
    return asked.finish(fault.fired ? -fault.error : result, fault.fired);
}

}  // namespace vreader
