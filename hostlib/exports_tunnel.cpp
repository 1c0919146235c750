// The HTTP tunnel: the request the reader prepared, the response handed
// back, and the release of the bodies they return.
#include "hostlib/commands_tunnel.hpp"
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/results.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

using namespace fendrac;

namespace {

// The text up to its terminator, at most the whole field.
void fill_field(char* field, const char* text)
{
    if (text == nullptr)
        return;
    std::size_t length = 0;
    while (length < kSelectionFieldSize && text[length] != '\0')
        ++length;
    std::memcpy(field, text, length);
}

}  // namespace

extern "C" {

FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_getHTTPRequestfromDevice(const char* first, const char* second, void** body,
                                                                   int* body_size)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    // The reader gives its request away once: with nowhere to put it, it
    // is not asked for.
    if (body == nullptr || body_size == nullptr)
        return kExchangeFailed;
    std::unique_ptr<char[]> block(new (std::nothrow) char[vendor::kSelectionBlockSize]);
    if (!block)
        return kOutOfMemory;
    std::memset(block.get(), 0, vendor::kSelectionBlockSize);
    fill_field(block.get(), first);
    fill_field(block.get() + kSelectionFieldSize, second);
    TunnelBody reply{nullptr, 0};
    if (drive->DispatchExchange(vendor::kHttpRequest, block.get(), vendor::kSelectionBlockSize, &reply,
                                kTunnelReplySize) != kOk)
        return kExchangeFailed;
    *body = reply.buffer;
    *body_size = reply.size;
    return kOk;
}

FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_sendHTTPResponsetoDevice(const void* data, int length, int* body_size,
                                                                   void** body)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if ((data == nullptr && length > 0) || body_size == nullptr || body == nullptr)
        return kExchangeFailed;
    TunnelResponse response{static_cast<const std::uint8_t*>(data), length};
    TunnelBody reply{nullptr, 0};
    if (drive->DispatchExchange(vendor::kHttpResponse, &response, static_cast<std::uint32_t>(length), &reply,
                                kTunnelReplySize) != kOk)
        return kExchangeFailed;
    *body_size = reply.size;
    *body = reply.buffer;
    return kOk;
}

FENDRAC_API void FENDRAC_CALL MSC_ebookUsb_freeHTTPRequestfromDevice(void* body) { std::free(body); }

}  // extern "C"

// One function under both names. GCC would have the alias repeat the
// target's inferred attributes, which a C declaration cannot carry.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-attributes"
#endif
extern "C" FENDRAC_API void FENDRAC_CALL MSC_ebookUsb_freeHTTPResponsetoDevice(void* body)
    __attribute__((alias("MSC_ebookUsb_freeHTTPRequestfromDevice")));
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
