// Which class carries which vendor command code.
#include "hostlib/commands_device.hpp"
#include "hostlib/usb_command_manager.hpp"

#include <new>

namespace fendrac {
namespace {

template <typename Command, typename... Arguments>
std::unique_ptr<CUSBCommand> make(Arguments... arguments)
{
    return std::unique_ptr<CUSBCommand>(new (std::nothrow) Command(arguments...));
}

// The commands that only a reader with a newer protocol version offers.
bool gated(std::uint8_t code) { return code == 144 || code == 160; }

}  // namespace

std::unique_ptr<CUSBCommand> build_command(std::uint8_t code, std::uint32_t selector)
{
    if (gated(code)) {
        const CUSBProperty* property = shared_property();
        if (property == nullptr || !property->version_gate_passes())
            return nullptr;
    }
    switch (code) {
    case 1:
        return make<CUSBCommand_GetUSBProtocolVersion>(selector);
    case 3:
        return make<CUSBCommand_ReqUsbConnect>();
    case 4:
        return make<CUSBCommand_UnlockDevice>();
    case 6:
        return make<CUSBCommand_GetProperty>();
    case 7:
        return make<CUSBCommand_SetTime>();
    case 8:
        return make<CUSBCommand_GetFreeSpace>();
    case 9:
        return make<CUSBCommand_NotifyDeviceBeginEnd>();
    case 10:
        return make<CUSBCommand_ConnectDevice>();
    case 144:
        return make<CUSBCommand_GetFingerPrint>();
    case 160:
        return make<CUSBCommand_GetInfo>();
    default:
        hostos::debug_output("NG NG NG NG NG!");
        return make<CUSBCommand>();
    }
}

}  // namespace fendrac
