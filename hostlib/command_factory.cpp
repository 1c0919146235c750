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
bool gated(std::uint8_t code) { return code == vendor::kFingerprint || code == vendor::kGetInfo; }

}  // namespace

std::unique_ptr<CUSBCommand> build_command(std::uint8_t code, std::uint32_t selector)
{
    if (gated(code)) {
        const CUSBProperty* property = shared_property();
        if (property == nullptr || !property->version_gate_passes())
            return nullptr;
    }
    switch (code) {
    case vendor::kProtocolVersion:
        return make<CUSBCommand_GetUSBProtocolVersion>(selector);
    case vendor::kConnect:
        return make<CUSBCommand_ReqUsbConnect>();
    case vendor::kUnlock:
        return make<CUSBCommand_UnlockDevice>();
    case vendor::kProperty:
        return make<CUSBCommand_GetProperty>();
    case vendor::kSetTime:
        return make<CUSBCommand_SetTime>();
    case vendor::kFreeSpace:
        return make<CUSBCommand_GetFreeSpace>();
    case vendor::kBeginEnd:
        return make<CUSBCommand_NotifyDeviceBeginEnd>();
    case vendor::kMediaState:
        return make<CUSBCommand_ConnectDevice>();
    case vendor::kHttpRequest:
        return make<CUSBCommand_GetHttpRequest>();
    case vendor::kHttpResponse:
        return make<CUSBCommand_SetHttpResponse>();
    case vendor::kUpdateMode:
        return make<CUSBCommand_ReqUpdateChangeMode>();
    case vendor::kDeletePartition:
        return make<CUSBCommand_ReqUpdateDeletePartition>();
    case vendor::kCreatePartition:
        return make<CUSBCommand_ReqUpdateCreatePartition>();
    case vendor::kCreatePartitionImage:
        return make<CUSBCommand_ReqUpdateCreatePartitionWithImage>();
    case vendor::kPartitionSize:
        return make<CUSBCommand_GetUpdatePartitionSize>();
    case vendor::kFileSize:
        return make<CUSBCommand_UsbFileGetSize>();
    case vendor::kFileRead:
        return make<CUSBCommand_UsbFileRead>();
    case vendor::kFileWrite:
        return make<CUSBCommand_UsbFileWrite>();
    case vendor::kFileDelete:
        return make<CUSBCommand_UsbFileDelete>();
    case vendor::kFingerprint:
        return make<CUSBCommand_GetFingerPrint>();
    case vendor::kGetInfo:
        return make<CUSBCommand_GetInfo>();
    default:
        hostos::debug_output("NG NG NG NG NG!");
        return make<CUSBCommand>();
    }
}

}  // namespace fendrac
