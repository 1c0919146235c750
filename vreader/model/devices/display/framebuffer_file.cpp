#include "vreader/model/devices/display/framebuffer_file.hpp"

#include "vreader/model/core/request_opening.hpp"
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
    Session session = context_.session();
    const epdc::Request* known = epdc::find_request(number);
    if (known == nullptr) {
        JsonLine line("unknown");
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", number);
        line.add("number", hex);
        return session.finish(line, -ENOTTY, false);
    }
    JsonLine line(known->name);
    FaultHit fault;
    if (const auto ended = open_request(session, line, known->name, device(), FaultEnds::None, fault))
        return *ended;
    EpdcKeptState state(session);
    RequestCall call{session, state, line, arg, fault.error};
    const std::int64_t result = epdc_request(known->number, call);
    return session.finish(line, fault.fired ? -fault.error : result, fault.fired);
}

}  // namespace vreader
