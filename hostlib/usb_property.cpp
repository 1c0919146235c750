#include "hostlib/usb_property.hpp"

#include <cstring>
#include <new>

namespace fendrac {
namespace {

CUSBProperty* g_property = nullptr;

}  // namespace

bool CUSBProperty::version_gate_passes() const
{
    if (std::memcmp(protocol_version.data(), "0100", 4) != 0)
        return false;
    const std::uint32_t minor = std::uint32_t(protocol_version[4]) | std::uint32_t(protocol_version[5]) << 8 |
                                std::uint32_t(protocol_version[6]) << 16 | std::uint32_t(protocol_version[7]) << 24;
    return minor > 0x3031302F;
}

CUSBProperty* shared_property()
{
    if (g_property == nullptr)
        g_property = new (std::nothrow) CUSBProperty();
    return g_property;
}

void destroy_shared_property()
{
    delete g_property;
    g_property = nullptr;
}

}  // namespace fendrac
