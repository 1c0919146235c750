// A Windows program on the USB model: linked with the model's objects alone,
// it shows that they need nothing the Windows runtime lacks.
#include "vreader/model/usb_storage.hpp"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: usb_windows_probe READER_DIR\n");
        return 2;
    }
    std::string error;
    const auto usb = vreader::UsbStorage::open(argv[1], error);
    if (!usb) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const auto volume = usb->volume('E');
    if (!volume)
        return 1;
    vreader::ScsiRequest inquiry;
    inquiry.cdb = {0x12, 0, 0, 0, 36, 0};
    inquiry.cdb_length = 6;
    inquiry.data_in = true;
    inquiry.transfer_length = 36;
    const vreader::ScsiReply reply = usb->exchange(*volume, inquiry);
    std::printf("%.*s\n", static_cast<int>(reply.data_in.size() > 8 ? reply.data_in.size() - 8 : 0),
                reinterpret_cast<const char*>(reply.data_in.data()) + 8);
    return reply.status;
}
