#include "vreader/model/board/device_nodes.hpp"

#include "vreader/model/devices/display/framebuffer_file.hpp"
#include "vreader/model/devices/emmc/emmc_file.hpp"
#include "vreader/model/devices/gadget/gadget_lun_file.hpp"
#include "vreader/model/devices/gadget/gadget_serial_file.hpp"
#include "vreader/model/devices/input/input_device.hpp"
#include "vreader/model/devices/modem/modem_node.hpp"
#include "vreader/model/devices/past_log/past_log_nodes.hpp"
#include "vreader/model/devices/subcpu/subcpu_node.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_node.hpp"
#include "vreader/model/state/gadget_content.hpp"

#include <sys/sysmacros.h>

#include <cstring>

namespace vreader {

NodeKind find_node(const ReaderConfig& config, std::string_view dev_path)
{
    if (dev_path == "/dev")
        return NodeKind::Directory;
    if (dev_path == "/dev/fb0")
        return NodeKind::Framebuffer;
    if (dev_path == "/dev/ttymxc1")
        return NodeKind::Uart;
    if (dev_path == "/dev/ttyGS0")
        return NodeKind::GadgetSerial;
    if (dev_path == "/dev/sub_cpu")
        return NodeKind::SubCpu;
    if (config.modem && dev_path == kModemPath)
        return NodeKind::Modem;
    if (dev_path == kPastLogControlPath)
        return NodeKind::PastLogControl;
    if (dev_path == kPastLogPath)
        return NodeKind::PastLog;
    if (dev_path == "/dev/input")
        return NodeKind::Directory;
    if (input_device_number(config, dev_path) >= 0)
        return NodeKind::Input;
    if (dev_path == control_mode_path(config))
        return NodeKind::ControlMode;
    unsigned lun = 0;
    std::string attribute;
    if (parse_lun_attribute(dev_path, lun, attribute))
        return NodeKind::LunAttribute;
    if (config.graphics_node && dev_path == "/dev/graphics")
        return NodeKind::Directory;
    if (config.graphics_node && dev_path == "/dev/graphics/fb0")
        return NodeKind::Framebuffer;
    const std::string emmc = emmc_device(config);
    const bool dev_name = config.emmc_nodes != EmmcNodes::Block;
    const bool block_name = config.emmc_nodes != EmmcNodes::Dev;
    if (dev_name && dev_path == "/dev/" + emmc)
        return NodeKind::Emmc;
    if (block_name && dev_path == "/dev/block")
        return NodeKind::Directory;
    if (block_name && dev_path == "/dev/block/" + emmc)
        return NodeKind::Emmc;
    return NodeKind::None;
}

void node_stat(const ReaderConfig& config, NodeKind kind, struct stat& st)
{
    std::memset(&st, 0, sizeof st);
    st.st_blksize = 4096;
    if (kind == NodeKind::Directory) {
        st.st_mode = S_IFDIR | 0755;
        st.st_nlink = 2;
    } else if (kind == NodeKind::Framebuffer) {
        char_device_stat(st, kFramebufferMajor, 0);
    } else if (kind == NodeKind::Emmc) {
        emmc_stat(config, st);
    } else if (kind == NodeKind::SubCpu) {
        char_device_stat(st, kMiscMajor, kSubCpuMinor);
    } else if (kind == NodeKind::ControlMode || kind == NodeKind::LunAttribute) {
        st.st_mode = S_IFREG | 0644;
        st.st_nlink = 1;
        st.st_size = 4096;
    } else if (kind == NodeKind::Input) {
        char_device_stat(st, kInputMajor, kInputMinorBase);
    } else if (kind == NodeKind::Uart) {
        char_device_stat(st, kUartMajor, kUartMinor);
    } else if (kind == NodeKind::GadgetSerial) {
        char_device_stat(st, kGadgetMajor, kGadgetMinor);
    } else if (kind == NodeKind::Modem) {
        char_device_stat(st, kModemMajor, kModemMinor);
    } else if (kind == NodeKind::PastLogControl) {
        char_device_stat(st, kMiscMajor, kPastLogControlMinor);
    } else if (kind == NodeKind::PastLog) {
        char_device_stat(st, kMiscMajor, kPastLogMinor);
    }
}

std::int64_t open_node(ReaderContext& context, const std::string& dev_path, int flags, int fd,
                       std::unique_ptr<DeviceFile>& out)
{
    const NodeKind kind = find_node(context.dir.config(), dev_path);
    if (kind == NodeKind::Framebuffer)
        return FramebufferFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::Emmc)
        return EmmcFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::Uart)
        return UartFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::GadgetSerial)
        return GadgetSerialFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::SubCpu)
        return SubCpuFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::Modem)
        return ModemFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::Input)
        return InputFile::open(context, dev_path,
                               static_cast<unsigned>(input_device_number(context.dir.config(), dev_path)), flags, fd,
                               out);
    if (kind == NodeKind::ControlMode)
        return ControlModeFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::PastLogControl)
        return PastLogControlFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::PastLog)
        return PastLogFile::open(context, dev_path, flags, fd, out);
    if (kind == NodeKind::LunAttribute)
        return GadgetLunFile::open(context, dev_path, flags, fd, out);

    // Nodes that do not exist and directories cannot be opened; the attempt
    // is journaled all the same.
    // Only a fault on the Nth request reaches it: a fault set by name on
    // "open" is for the nodes that are there.
    const int error = kind == NodeKind::Directory ? EISDIR : ENOENT;
    Session session = context.session();
    JsonLine line("open");
    line.add("path", dev_path).add("flags", flags);
    const FaultHit fault = session.take_at_fault("open");
    line.set_result(-1, fault.fired ? fault.error : error, fault.fired);
    session.record(line);
    return -(fault.fired ? fault.error : error);
}

}  // namespace vreader
