#include "hostlib/commands_update.hpp"

#include "hostlib/os/host_system.hpp"
#include "hostlib/results.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fendrac {
namespace {

constexpr std::uint32_t kWaitWithoutSleep = 20000;
constexpr std::uint32_t kSleepSlice = 300;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

enum class ImageSent {
    Whole,   // every byte, or none from a file that does not open
    Short,   // the file (or a buffer for it) gave out first
    Failed,  // a piece's exchange failed
};

// Streams `count` bytes of the image file in pieces, all continuing. A file
// that does not open sends nothing: the reader's result then tells.
ImageSent send_image(CUSBCommand& command, const char* path, std::uint32_t count)
{
    std::unique_ptr<std::uint8_t, decltype(&std::free)> buffer(static_cast<std::uint8_t*>(std::malloc(kDataCapacity)),
                                                               &std::free);
    if (!buffer)
        return ImageSent::Short;
    std::unique_ptr<std::FILE, FileCloser> file(path[0] != '\0' ? std::fopen(path, "rb") : nullptr);
    if (!file)
        return ImageSent::Whole;
    while (count > 0) {
        const std::uint32_t piece = std::min(count, kDataCapacity);
        if (std::fread(buffer.get(), 1, piece, file.get()) != piece)
            return ImageSent::Short;
        if (SendPhase(command, buffer.get(), piece, kPhaseContinuing) != 0)
            return ImageSent::Failed;
        count -= piece;
    }
    return ImageSent::Whole;
}

}  // namespace

std::uint32_t creation_wait_ms(std::uint32_t third)
{
    // 65535 x 95000 needs 33 bits; the quotient fits 32.
    const std::uint64_t upper = third >> 16;
    return static_cast<std::uint32_t>(upper * 95000u / 3386u);
}

std::int32_t CUSBCommand_ReqUpdateCreatePartition::Execute(void* request, std::uint32_t length, void*, std::uint32_t,
                                                           void* reply, std::uint32_t reply_length)
{
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kPhaseFailed;
    const std::uint32_t wait = creation_wait_ms(static_cast<const PartitionCall*>(request)->request.third);
    if (wait > kWaitWithoutSleep) {
        std::fprintf(stderr, "wait:sleep=%d\n", static_cast<int>(wait));
        for (std::uint32_t left = wait - kWaitWithoutSleep; left > 0;) {
            const std::uint32_t slice = std::min(left, kSleepSlice);
            hostos::sleep_ms(slice);
            left -= slice;
        }
    }
    return ReceiveReply(*this, reply, reply_length);
}

std::int32_t CUSBCommand_ReqUpdateCreatePartitionWithImage::Execute(void* request, std::uint32_t length, void*,
                                                                    std::uint32_t, void* reply,
                                                                    std::uint32_t reply_length)
{
    if (request == nullptr)
        return kBadArgument;
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kPhaseFailed;
    const auto& partition = *static_cast<const PartitionCall*>(request);
    const ImageSent sent = send_image(*this, partition.image_path, partition.request.image_bytes);
    if (sent == ImageSent::Failed)
        return kPhaseFailed;
    // An image that gave out early still closes the command, as a missing
    // file does, so that the reader is not left waiting for the rest; the
    // partition is not whole all the same.
    const std::int32_t result = ReceiveReply(*this, reply, reply_length);
    return sent == ImageSent::Short ? kPhaseFailed : result;
}

}  // namespace fendrac
