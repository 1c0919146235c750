// The PC library against a reader whose every answer comes from the fuzzer:
// each data-in exchange takes a control byte (bit 0: the call fails, bit 1:
// CHECK CONDITION, bit 2: nothing returned), a 16-bit length and that many
// bytes. Once the input is used up the reader refuses every data-in
// exchange but those of opening the drive, so each command ends at once.
// The first byte picks one command that parses a reply: INQUIRY, the
// property block, the information query, the tunnel's headers and bodies,
// the file and partition replies, or the eject's notices.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/portable_control.hpp"
#include "tests/hostlib/scripted_device.hpp"

#include <cstdint>
#include <cstdlib>

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
        for (const char* name : {FENDRAC_MUTEX_STATE1, FENDRAC_MUTEX_STATE2})
            hostos::portable::create_mutex(name);
        return true;
    }();
    (void)ready;
    if (size == 0)
        return 0;
    // The first byte picks the command, so that each input pays for one
    // command's exchanges rather than a whole session's.
    const unsigned command = data[0];
    scripted::reset();
    hostos::portable::clear_debug_lines();
    Replies replies{data + 1, size - 1};
    scripted::respond([&replies](const scripted::Exchange& e) { return replies.next(e); });

    if (command % 12 == 0) {
        VolumeIdentity identity{};
        if (FSVolumeGetDeviceInfo('E', &identity) == 0) {
            IsEbookProduct(&identity);
            IsVenderSpecificReader(identity.vendor_specific);
            IsAudioSupported(identity.product);
        }
        return 0;
    }
    if (MSC_OpenDriveW(L"\\\\.\\E:") != 1)
        return 0;
    std::uint8_t buffer[8192];
    void* body = nullptr;
    int body_size = 0;
    int file_size = 0;
    unsigned words[3];
    switch (command % 12) {
    case 1: {
        DeviceProperty property{};
        if (MSC_UsbGetDevProperty(&property) == 0)
            MSC_UsbFreeDevProperty(&property);
        break;
    }
    case 2:
        MSC_GetInfo("model", buffer, static_cast<int>(sizeof buffer));
        break;
    case 3:
        if (MSC_ebookUsb_getHTTPRequestfromDevice("a", "b", &body, &body_size) == 0)
            MSC_ebookUsb_freeHTTPRequestfromDevice(body);
        break;
    case 4:
        if (MSC_ebookUsb_sendHTTPResponsetoDevice("ok", 2, &body_size, &body) == 0)
            MSC_ebookUsb_freeHTTPResponsetoDevice(body);
        break;
    case 5:
        MSC_UsbFile_GetSize("/a", &file_size);
        break;
    case 6:
        MSC_UsbFile_Read("/a", buffer, 0, 5000, 0);
        break;
    case 7:
        MSC_UsbFile_Write("/a", buffer, 0, 5000);
        break;
    case 8:
        MSC_UsbFile_Delete("/a");
        break;
    case 9:
        MSC_GetPartitionSize("p", &words[0], &words[1], &words[2]);
        break;
    case 10:
        MSC_ReqCreatePartitionWithImage("p", 0, 0, 0, 10, "", "t", nullptr);
        break;
    default:
        MSC_EjectMedia();
        break;
    }
    while (MSC_canConnect())
        MSC_CloseDrive();
    return 0;
}
