// The device tree behind the scripted reader's volume, for the media
// eject: the disk interfaces Windows lists, the device nodes above them,
// and how the volume lock and the eject request answer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace scripted {

struct DiskInterface {
    std::wstring path;
    std::uint32_t device_number = 0;
    std::uint32_t node = 0;
    bool opens = true;
    bool detail_size_zero = false;
};

struct DeviceNode {
    std::uint32_t parent = 0;  // 0: none (the root)
    std::uint32_t status = 0;
    std::wstring id;
};

enum class EjectAnswer { Accept, Veto };

struct Tree {
    bool lock_works = true;            // FSCTL_LOCK_VOLUME on the volume
    bool volume_number_works = true;   // IOCTL_STORAGE_GET_DEVICE_NUMBER on the volume
    std::uint32_t volume_device_number = 2;
    bool list_works = true;
    std::vector<DiskInterface> interfaces;
    std::map<std::uint32_t, DeviceNode> nodes;
    EjectAnswer eject = EjectAnswer::Accept;
    std::uint32_t eject_takes_ms = 0;  // on the virtual clock
};

// A PC with its own disk 0 and the reader's disk 2 under a USB mass
// storage device (removable) on a hub.
Tree usb_reader_tree();

// What happened to it.
struct TreeLog {
    int locks = 0;
    int interfaces_opened = 0;
    int interfaces_closed = 0;
    int lists_destroyed = 0;
    int heap_blocks = 0;  // allocated and not yet freed
    std::vector<std::wstring> eject_requests;  // the ids of the nodes asked to eject
};

void set_tree(Tree tree);
const TreeLog& tree_log();

// For the scripted device layer: the requests other than the pass-through,
// on the volume or on an interface handle, and the interface handles.
bool tree_io_control(void* handle, std::uint32_t code, void* out, std::uint32_t out_size, std::uint32_t& returned,
                     bool volume);
bool is_interface_handle(void* handle);
void close_interface(void* handle);

}  // namespace scripted
