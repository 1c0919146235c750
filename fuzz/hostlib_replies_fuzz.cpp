// The PC library against a reader whose every answer comes from the fuzzer:
// each data-in exchange takes a control byte (bit 0: the call fails, bit 1:
// CHECK CONDITION, bit 2: nothing returned), a 16-bit length and that many
// bytes. Once the input is used up the reader refuses every data-in
// exchange but those of opening the drive, so each command ends at once.
// A session runs every command that parses a reply: INQUIRY, the property
// block, the information query, the tunnel's headers and bodies, the file
// and partition replies, and the eject's notices.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/portable_control.hpp"
#include "tests/hostlib/scripted_device.hpp"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Replies {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    scripted::Answer next(const scripted::Exchange& exchange)
    {
        scripted::Answer answer;
        if (!exchange.data_in)
            return answer;
        if (size - at < 3) {
            // The drive still opens; any other command ends at its next
            // data-in exchange.
            if (exchange.code() == 1 || exchange.code() == 3 || exchange.code() == 4)
                return scripted::good_reader(exchange);
            answer.status = 2;
            return answer;
        }
        const std::uint8_t control = data[at];
        std::size_t length = data[at + 1] | std::size_t(data[at + 2]) << 8;
        at += 3;
        if (length > size - at)
            length = size - at;
        answer.call_ok = (control & 1) == 0;
        answer.status = (control & 2) != 0 ? 2 : 0;
        if ((control & 4) != 0)
            answer.returned = 0;
        answer.data.assign(data + at, data + at + length);
        at += length;
        return answer;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        for (const char* name : {"Global\\ZEPA_EBOOK_QLX_STATE1", "Global\\ZEPA_EBOOK_QLX_STATE2"})
            hostos::portable::create_mutex(name);
        return true;
    }();
    (void)ready;
    scripted::reset();
    hostos::portable::clear_debug_lines();
    Replies replies{data, size};
    scripted::respond([&replies](const scripted::Exchange& e) { return replies.next(e); });

    VolumeIdentity identity{};
    if (FSVolumeGetDeviceInfo('E', &identity) == 0) {
        IsEbookProduct(&identity);
        IsVenderSpecificReader(identity.vendor_specific);
        IsAudioSupported(identity.product);
    }
    if (MSC_OpenDriveW(L"\\\\.\\E:") != 1)
        return 0;
    DeviceProperty property{};
    if (MSC_UsbGetDevProperty(&property) == 0)
        MSC_UsbFreeDevProperty(&property);
    std::vector<std::uint8_t> buffer(8192);
    MSC_GetInfo("model", buffer.data(), static_cast<int>(buffer.size()));
    void* body = nullptr;
    int body_size = 0;
    if (MSC_ebookUsb_getHTTPRequestfromDevice("a", "b", &body, &body_size) == 0)
        MSC_ebookUsb_freeHTTPRequestfromDevice(body);
    if (MSC_ebookUsb_sendHTTPResponsetoDevice("ok", 2, &body_size, &body) == 0)
        MSC_ebookUsb_freeHTTPResponsetoDevice(body);
    int file_size = 0;
    MSC_UsbFile_GetSize("/a", &file_size);
    MSC_UsbFile_Read("/a", buffer.data(), 0, 5000, 0);
    MSC_UsbFile_Write("/a", buffer.data(), 0, 5000);
    MSC_UsbFile_Delete("/a");
    unsigned words[3];
    MSC_GetPartitionSize("p", &words[0], &words[1], &words[2]);
    MSC_ReqCreatePartitionWithImage("p", 0, 0, 0, 10, "", "t", nullptr);
    MSC_EjectMedia();
    while (MSC_canConnect())
        MSC_CloseDrive();
    return 0;
}
