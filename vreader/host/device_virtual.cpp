// The library's device layer bound to the virtual reader: a volume path
// "\\.\E:" opens the reader's volume E, and each SCSI pass-through request
// goes to the reader's model as the storage driver would hand it over. The
// reader is the one in $VREADER_DIR.
#include "hostlib/os/host_device.hpp"
#include "hostlib/pass_through.hpp"
#include "vreader/host/reader_link.hpp"
#include "vreader/model/usb/usb_storage.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace hostos {
namespace {

// Handles carry the volume's number (its drive letter's code), kept apart
// from real handles' small values by a high tag.
constexpr std::uintptr_t kHandleTag = 0x7A000000;

Handle handle_for(int volume)
{
    return reinterpret_cast<Handle>(kHandleTag + (static_cast<std::uintptr_t>(volume) & 0xFF) + 1);
}

}  // namespace

bool virtual_reader::volume_of(Handle handle, int& volume)
{
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value <= kHandleTag || value > kHandleTag + 0x100)
        return false;
    volume = static_cast<int>(value - kHandleTag - 1);
    return true;
}

namespace {

// "\\.\X:" with nothing after it; off Windows "X:" too, the name the
// reader's volumes are listed by there.
template <typename Char>
Handle open_path(const Char* path)
{
    if (path == nullptr)
        return invalid_handle();
    const Char prefix[] = {'\\', '\\', '.', '\\'};
    bool prefixed = true;
    for (int i = 0; i < 4 && prefixed; ++i)
        prefixed = path[i] == prefix[i];
#if defined(_WIN32)
    if (!prefixed)
        return invalid_handle();
#endif
    const Char* name = prefixed ? path + 4 : path;
    const Char letter = name[0];
    if (!(letter >= 'A' && letter <= 'Z') && !(letter >= 'a' && letter <= 'z'))
        return invalid_handle();
    if (name[1] != ':' || name[2] != 0)
        return invalid_handle();
    std::lock_guard held(virtual_reader::lock());
    vreader::UsbStorage* usb = virtual_reader::storage();
    if (usb == nullptr)
        return invalid_handle();
    const auto volume = usb->volume(static_cast<char>(letter));
    if (!volume)
        return invalid_handle();
    return handle_for(*volume);
}

}  // namespace

Handle open_volume(const wchar_t* path) { return open_path(path); }
Handle open_volume_ansi(const char* path) { return open_path(path); }
void close_volume(Handle) {}

bool device_io_control(Handle handle, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size, std::uint32_t& returned)
{
    returned = 0;
    if (const std::optional<bool> answered = virtual_reader::eject_io_control(handle, code, out, out_size, returned))
        return *answered;
    int volume = 0;
    if (!virtual_reader::volume_of(handle, volume))
        return false;
    if (code != kIoctlScsiPassThrough)
        return false;
    if (in == nullptr || out == nullptr || in_size < sizeof(fendrac::ScsiPassThrough) ||
        out_size < sizeof(fendrac::ScsiPassThrough))
        return false;

    // The driver reads the request from the input buffer and answers into
    // the output buffer; either may be the same memory.
    fendrac::ScsiPassThrough header;
    std::memcpy(&header, in, sizeof header);
    vreader::ScsiRequest request;
    std::memcpy(request.cdb.data(), header.Cdb, sizeof header.Cdb);
    request.cdb_length = header.CdbLength;
    request.data_in = header.DataIn != 0;
    request.transfer_length = header.DataTransferLength;
    if (!request.data_in) {
        if (header.DataBufferOffset + std::uint64_t(header.DataTransferLength) > in_size)
            return false;
        const auto* bytes = static_cast<const std::uint8_t*>(in) + header.DataBufferOffset;
        request.data_out.assign(bytes, bytes + header.DataTransferLength);
    }

    vreader::ScsiReply reply;
    {
        std::lock_guard held(virtual_reader::lock());
        vreader::UsbStorage* usb = virtual_reader::storage();
        if (usb == nullptr)
            return false;
        reply = usb->exchange(volume, request);
    }
    if (reply.call == vreader::ScsiReply::Call::Fails)
        return false;

    auto* answer = static_cast<std::uint8_t*>(out);
    if (out != in)
        std::memcpy(answer, in, std::min(in_size, out_size));
    fendrac::ScsiPassThrough& back = *reinterpret_cast<fendrac::ScsiPassThrough*>(answer);
    back.ScsiStatus = reply.status;
    back.DataTransferLength = reply.transfer_length;
    const std::uint32_t sense = std::min<std::uint32_t>(header.SenseInfoLength, sizeof reply.sense);
    if (header.SenseInfoOffset + std::uint64_t(sense) <= out_size)
        std::memcpy(answer + header.SenseInfoOffset, reply.sense.data(), sense);
    std::uint32_t data_bytes = 0;
    if (request.data_in) {
        data_bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            reply.data_in.size(), out_size > header.DataBufferOffset ? out_size - header.DataBufferOffset : 0));
        if (data_bytes != 0)
            std::memcpy(answer + header.DataBufferOffset, reply.data_in.data(), data_bytes);
    }
    if (reply.call == vreader::ScsiReply::Call::NothingReturned)
        return true;
    returned = std::min<std::uint32_t>(header.DataBufferOffset + data_bytes, out_size);
    return true;
}

Handle broker_open(const wchar_t*, std::uint32_t) { return invalid_handle(); }

// The reader's volumes by their drive letters: "\\.\E:" on Windows, "E:"
// elsewhere, where no drive letters are.
namespace {
std::string volume_name(char letter)
{
#if defined(_WIN32)
    return std::string("\\\\.\\") + letter + ":";
#else
    return std::string(1, letter) + ":";
#endif
}
}  // namespace

std::vector<std::string> volume_nodes()
{
    std::vector<std::string> paths;
    std::lock_guard held(virtual_reader::lock());
    if (vreader::UsbStorage* usb = virtual_reader::storage())
        for (char letter = 'A'; letter <= 'Z'; ++letter)
            if (usb->volume(letter))
                paths.push_back(volume_name(letter));
    return paths;
}

}  // namespace hostos
