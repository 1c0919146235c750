// The reader's file service: size, read, write and delete.
#include "hostlib/commands_file.hpp"
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/request_blocks.hpp"
#include "hostlib/result_exchange.hpp"
#include "hostlib/results.hpp"

#include <cstdint>
#include <cstring>

using namespace fendrac;

namespace {

// What size and delete send: the path field alone.
struct PathField {
    char bytes[kPathFieldSize];
};

}  // namespace

extern "C" {

FENDRAC_API int FENDRAC_CALL MSC_UsbFile_GetSize(const char* path, int* size)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    // The size query needs room for the terminator in its field.
    if (path == nullptr || std::strlen(path) >= kPathFieldSize || size == nullptr)
        return kExchangeFailed;
    auto field = zeroed<PathField>();
    if (!field)
        return kOutOfMemory;
    copy_text(field->bytes, path);
    if (drive->DispatchExchange(vendor::kFileSize, field.get(), kPathFieldSize, size, 4) != kOk)
        return kExchangeFailed;
    return *size < 0 ? *size : kOk;
}

FENDRAC_API int FENDRAC_CALL MSC_UsbFile_Read(const char* path, void* destination, int position, int length, int option)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    // Data the reader would send with nowhere to go: refused before the
    // request, which would leave the reader in the middle of its reply.
    if (path == nullptr || (destination == nullptr && length > 0))
        return kExchangeFailed;
    auto request = zeroed<FileRequest>();
    if (!request)
        return kOutOfMemory;
    copy_text(request->path, path);
    request->position = position;
    request->length = length;
    request->option = static_cast<std::uint32_t>(option);
    const std::int32_t result = drive->DispatchExchange(vendor::kFileRead, request.get(), sizeof(FileRequest),
                                                        destination, static_cast<std::uint32_t>(length));
    return result != kOk ? kExchangeFailed : kOk;
}

FENDRAC_API int FENDRAC_CALL MSC_UsbFile_Write(const char* path, const void* data, int position, int length)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    // A request for data that is not there: the reader would wait for it
    // in the middle of the command.
    if (path == nullptr || (data == nullptr && length > 0))
        return kExchangeFailed;
    auto call = zeroed<FileWriteCall>();
    if (!call)
        return kOutOfMemory;
    copy_text(call->request.path, path);
    call->request.position = position;
    call->request.length = length;
    call->request.option = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
    call->data = data;
    std::uint8_t reply[4] = {};
    if (drive->DispatchExchange(vendor::kFileWrite, call.get(), sizeof(FileRequest), reply, sizeof reply) != kOk)
        return kExchangeFailed;
    return kOk;
}

FENDRAC_API int FENDRAC_CALL MSC_UsbFile_Delete(const char* path)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if (path == nullptr)
        return kExchangeFailed;
    auto field = zeroed<PathField>();
    if (!field)
        return kOutOfMemory;
    copy_text(field->bytes, path);
    return request_and_result(*drive, vendor::kFileDelete, field.get(), kPathFieldSize);
}

}  // extern "C"
