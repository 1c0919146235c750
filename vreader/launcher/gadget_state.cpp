#include "vreader/launcher/gadget_state.hpp"

#include "vreader/model/devices/gadget/kept_nodes.hpp"
#include "vreader/model/state/gadget_content.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cstdio>
#include <cstring>

namespace vreader::cli {

void print_gadget(const ReaderDir& reader)
{
    GadgetContent gadget;
    std::string why;
    if (!load_gadget(reader.path(), gadget, why)) {
        std::printf("gadget=unreadable: %s\n", why.c_str());
    } else {
        std::printf("gadget_luns=%zu\n", gadget.luns.size());
        for (std::size_t i = 0; i < gadget.luns.size(); ++i) {
            const GadgetLun& lun = gadget.luns[i];
            std::string medium = "ejected";
            if (!lun.file.empty())
                medium = lun.file + " " + (lun.device.empty() ? std::to_string(lun.sectors) + " sectors" : lun.device);
            std::printf("lun%zu=%s ro=%d%s\n", i, medium.c_str(), lun.read_only ? 1 : 0,
                        lun.prevent ? " door=locked" : "");
        }
        std::string modules;
        for (const auto& module : gadget.modules)
            modules += (modules.empty() ? "" : " ") + module;
        std::printf("usb_modules=%s\n", modules.empty() ? "none" : modules.c_str());
    }
    KeptNodes nodes;
    if (load_nodes(reader, nodes, why) != 0) {
        std::printf("tmp_nodes=unreadable: %s\n", why.c_str());
        return;
    }
    if (nodes.nodes.empty())
        std::printf("tmp_nodes=none\n");
    for (const KeptNode& node : nodes.nodes)
        std::printf("tmp_node=%s %s\n", node.path.c_str(), describe_node(node).c_str());
}

bool is_gadget_key(std::string_view key)
{
    return key == "luns" || key == "usb_modules" || (key.starts_with("lun") && key.find('.') != std::string_view::npos);
}

std::string set_gadget_state(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    const ReaderLock lock(reader.file(kLockFile));
    GadgetContent gadget;
    std::string why;
    if (!load_gadget(reader.path(), gadget, why))
        return why;
    if (std::string error = set_gadget_key(gadget, key, value); !error.empty())
        return error;
    if (const int e = save_gadget(reader.path(), gadget))
        return "cannot write " + reader.file(kGadgetFile) + ": " + std::strerror(e);
    return {};
}

}  // namespace vreader::cli
