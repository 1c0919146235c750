// The HTTP tunnel: the request the reader prepared, the response handed
// back, and the release of the bodies they return.
#include "hostlib/commands_tunnel.hpp"
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/request_blocks.hpp"
#include "hostlib/results.hpp"

#include <cstdlib>

using namespace fendrac;

namespace {

// What code 64 sends: the reader's two selection fields.
struct SelectionBlock {
    char first[kSelectionFieldSize];
    char second[kSelectionFieldSize];
};
static_assert(sizeof(SelectionBlock) == vendor::kSelectionBlockSize);

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
    auto block = zeroed<SelectionBlock>();
    if (!block)
        return kOutOfMemory;
    copy_text(block->first, first);
    copy_text(block->second, second);
    TunnelBody reply{nullptr, 0};
    if (drive->DispatchExchange(vendor::kHttpRequest, block.get(), sizeof(SelectionBlock), &reply, kTunnelReplySize) !=
        kOk)
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
