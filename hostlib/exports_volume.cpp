// Volume identification: an INQUIRY to a drive letter (or, off Windows, to
// a device node), the predicates that tell a reader's volumes from other
// drives, and off Windows the list of the machine's reader volumes.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/host_device.hpp"
#include "hostlib/pass_through.hpp"
#include "hostlib/results.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>  // the broker's wide path

using namespace fendrac;

namespace {

constexpr std::uint32_t kInquiryLength = 255;

static_assert(sizeof(VolumeIdentity) == 53);
static_assert(offsetof(VolumeIdentity, vendor) == 1);
static_assert(offsetof(VolumeIdentity, product) == 10);
static_assert(offsetof(VolumeIdentity, revision) == 27);
static_assert(offsetof(VolumeIdentity, vendor_specific) == 32);

// CreateFileA, and when that fails the broker (which needs COM).
hostos::Handle open_drive_letter(const char* path)
{
    const hostos::Handle handle = hostos::open_volume_ansi(path);
    if (handle != hostos::invalid_handle())
        return handle;
    const std::int32_t com = hostos::com_initialize();
    const std::wstring wide = hostos::ansi_to_wide(path);
    const hostos::Handle brokered = hostos::broker_open(wide.c_str(), hostos::current_process_id());
    if (com >= 0)
        hostos::com_uninitialize();
    return brokered;
}

void copy_field(char* to, const std::uint8_t* from, std::size_t size)
{
    std::memcpy(to, from, size);
    to[size] = '\0';
}

// At most 16 characters, upper-cased and zero-terminated.
struct Upper {
    char text[17] = {};
};

Upper upper(const char* text, std::size_t size)
{
    Upper out;
    for (std::size_t i = 0; i < size && i < 16 && text[i] != '\0'; ++i)
        out.text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    return out;
}

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The INQUIRY to the volume at `path`, into `identity`: kOk, or kVolumeFailed.
int identify(const char* path, VolumeIdentity* identity)
{
    const hostos::Handle handle = open_drive_letter(path);
    if (!hostos::usable(handle))
        return kVolumeFailed;

    PassThroughRecord record;
    std::memset(&record, 0, sizeof record);
    ScsiPassThrough& h = record.header;
    h.Length = sizeof(ScsiPassThrough);
    h.TargetId = 1;
    h.CdbLength = 6;
    h.SenseInfoLength = 24;
    h.DataIn = 1;
    h.DataTransferLength = kInquiryLength;
    h.TimeOutValue = 1;
    h.DataBufferOffset = kDataOffset;
    h.SenseInfoOffset = kSenseOffset;
    h.Cdb[0] = 0x12;  // INQUIRY
    h.Cdb[4] = 0xFF;  // allocation length
    std::uint32_t returned = 0;
    const bool ok = hostos::device_io_control(handle, hostos::kIoctlScsiPassThrough, &record, sizeof(ScsiPassThrough),
                                              &record, kDataOffset + kInquiryLength, returned);
    hostos::close_volume(handle);
    if (!ok || h.ScsiStatus != 0 || h.DataTransferLength == 0)
        return kVolumeFailed;

    copy_field(identity->vendor, record.data + 8, 8);
    copy_field(identity->product, record.data + 16, 16);
    copy_field(identity->revision, record.data + 32, 4);
    copy_field(identity->vendor_specific, record.data + 36, 20);
    return kOk;
}

}  // namespace

extern "C" {

FENDRAC_API int FENDRAC_CALL FSVolumeGetDeviceInfo(int letter, VolumeIdentity* identity)
{
    if (identity == nullptr)
        return kVolumeFailed;
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\%c:", static_cast<char>(letter));
    return identify(path, identity);
}

FENDRAC_API int FENDRAC_CALL IsEbookProduct(const VolumeIdentity* identity)
{
    if (identity == nullptr)
        return 0;
    // The vendor without the blanks and zero bytes around it.
    const char* vendor = identity->vendor;
    std::size_t begin = 0;
    std::size_t end = ::strnlen(vendor, 8);
    while (begin < end && is_space(vendor[begin]))
        ++begin;
    while (end > begin && (is_space(vendor[end - 1]) || vendor[end - 1] == '\0'))
        --end;
    if (std::strcmp(upper(vendor + begin, end - begin).text, "ZEPA") != 0)
        return 0;

    const Upper product = upper(identity->product, 16);
    const char* const* prefixes = nullptr;
    static const char* const kFirstGeneration[] = {"J-QLX-610", "J-QLX-310", nullptr};
    static const char* const kSecondGeneration[] = {"QLX-K1", "QLX-K2", "QLX-M1", nullptr};
    if (identity->revision[0] == '1')
        prefixes = kFirstGeneration;
    else if (std::strcmp(identity->revision, "2081") == 0)
        prefixes = kSecondGeneration;
    else
        return 0;
    for (; *prefixes != nullptr; ++prefixes)
        if (std::strncmp(product.text, *prefixes, std::strlen(*prefixes)) == 0)
            return 1;
    return 0;
}

FENDRAC_API int FENDRAC_CALL IsXmlDatabase(const VolumeIdentity* identity)
{
    return identity != nullptr && identity->revision[0] == '1' ? 1 : 0;
}

FENDRAC_API int FENDRAC_CALL IsVenderSpecificReader(const char* text)
{
    return text != nullptr && std::strstr(text, "emb,") != nullptr ? 1 : 0;
}

FENDRAC_API int FENDRAC_CALL IsVenderSpecificMS(const char* text)
{
    return text != nullptr && std::strstr(text, "ext,ms,") != nullptr ? 1 : 0;
}

FENDRAC_API int FENDRAC_CALL IsVenderSpecificSD(const char* text)
{
    return text != nullptr && std::strstr(text, "ext,sd,") != nullptr ? 1 : 0;
}

FENDRAC_API int FENDRAC_CALL IsAudioSupported(const char* product)
{
    if (product == nullptr)
        return 0;
    for (const char* silent : {"J-QLX-310", "QLX-K2"})
        if (std::strncmp(product, silent, std::strlen(silent)) == 0)
            return 0;
    return 1;
}

#if !defined(_WIN32)
FENDRAC_API int FENDRAC_CALL FSVolumeGetDeviceInfoPath(const char* path, VolumeIdentity* identity)
{
    if (path == nullptr || identity == nullptr)
        return kVolumeFailed;
    return identify(path, identity);
}

FENDRAC_API int FENDRAC_CALL FSListReaderVolumes(char* buffer, int size)
{
    int count = 0;
    std::size_t used = 0;
    const std::size_t room = buffer != nullptr && size > 0 ? static_cast<std::size_t>(size) : 0;
    if (room != 0)
        buffer[0] = '\0';
    for (const std::string& path : hostos::volume_nodes()) {
        VolumeIdentity identity{};
        if (identify(path.c_str(), &identity) != kOk || IsEbookProduct(&identity) == 0)
            continue;
        ++count;
        // Whole lines only, and room for the final zero byte.
        if (used + path.size() + 2 <= room) {
            // NOLINTNEXTLINE(clang-analyzer-core.NonNullParamChecker): without a buffer room is 0, and no line fits
            std::memcpy(buffer + used, path.data(), path.size());
            used += path.size();
            buffer[used++] = '\n';
            buffer[used] = '\0';
        }
    }
    return count;
}
#endif

}  // extern "C"
