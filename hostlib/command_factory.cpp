// Which class carries which vendor command code.
#include "hostlib/commands_device.hpp"
#include "hostlib/commands_file.hpp"
#include "hostlib/commands_tunnel.hpp"
#include "hostlib/commands_update.hpp"
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
    case 64:
        return make<CUSBCommand_GetHttpRequest>();
    case 65:
        return make<CUSBCommand_SetHttpResponse>();
    case 112:
        return make<CUSBCommand_ReqUpdateChangeMode>();
    case 113:
        return make<CUSBCommand_ReqUpdateDeletePartition>();
    case 114:
        return make<CUSBCommand_ReqUpdateCreatePartition>();
    case 115:
        return make<CUSBCommand_ReqUpdateCreatePartitionWithImage>();
    case 116:
        return make<CUSBCommand_GetUpdatePartitionSize>();
    case 128:
        return make<CUSBCommand_UsbFileGetSize>();
    case 129:
        return make<CUSBCommand_UsbFileRead>();
    case 130:
        return make<CUSBCommand_UsbFileWrite>();
    case 131:
        return make<CUSBCommand_UsbFileDelete>();
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
