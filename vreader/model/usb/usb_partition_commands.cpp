// Update mode and the update partitions' commands (codes 112 to 116). The
// partition commands work only in update mode; a create with an image takes
// the image pieces into an incoming file and answers its result once the PC
// asks for it, 0 only when exactly the announced count came.
#include "vreader/model/usb/usb_exchange.hpp"
#include "vreader/model/usb/usb_partitions.hpp"

#include <algorithm>
#include <cstddef>

namespace vreader::usb {
namespace {

// The create request: image_bytes and what follows travel with an image only.
using protocol::vendor::kImageRequestSize;
using protocol::vendor::PartitionRequest;

constexpr std::uint32_t kNormalMode = 0;
constexpr std::uint32_t kUpdateModeValue = 1;

Bytes name_field(const Bytes& data) { return Bytes(data.begin(), data.begin() + kPartitionNameSize); }

// The partition a request names, with its verdict: 0, or why it is refused.
std::int32_t named_partition(const Bytes& data, CommandContext& context, std::string& name)
{
    context.line.add("name", text_of(name_field(data)));
    if (context.content.update_mode != kUpdateModeValue)
        return kNotInUpdateMode;
    name = partition_name(name_field(data));
    return name.empty() ? kBadName : 0;
}

// The partition a create request describes; the tag's and the extra
// block's fields count only in a request with an image.
Partition described(const Bytes& data, const std::string& name)
{
    Partition partition;
    partition.name = name;
    partition.first = read_le32(data, offsetof(PartitionRequest, first));
    partition.second = read_le32(data, offsetof(PartitionRequest, second));
    partition.third = read_le32(data, offsetof(PartitionRequest, third));
    if (data.size() >= kImageRequestSize) {
        partition.image = true;
        partition.announced = read_le32(data, offsetof(PartitionRequest, image_bytes));
        const auto tag = data.begin() + offsetof(PartitionRequest, tag);
        partition.tag = text_of(Bytes(tag, tag + kImageTagSize));
    }
    if (data.size() > kImageRequestSize)
        partition.extra.assign(data.begin() + kImageRequestSize, data.end());
    return partition;
}

bool printable(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// The verdict on a create: 0 when the partition can be made. `partition`
// is described even for a refused create, whose image count still tells
// how many pieces come.
std::int32_t check_create(const Bytes& data, CommandContext& context, Partition& partition)
{
    std::string name;
    const std::int32_t refused = named_partition(data, context, name);
    partition = described(data, name);
    if (refused != 0)
        return refused;
    context.line.add("first", partition.first).add("second", partition.second).add("third", partition.third);
    if (partition.image)
        context.line.add("image_bytes", partition.announced)
            .add("tag", partition.tag)
            .add("extra", !partition.extra.empty());
    if (!printable(partition.tag))
        return kBadName;
    return Partitions(context.dir).find(name) ? kPartitionExists : 0;
}

}  // namespace

Bytes change_mode(const VendorExchange& exchange, CommandContext& context)
{
    const std::uint32_t mode = read_le32(exchange.data);
    context.line.add("mode", mode);
    std::int32_t answer = kBadMode;
    if (mode == kNormalMode || mode == kUpdateModeValue) {
        context.content.update_mode = mode;
        answer = 0;
    }
    context.line.add("answer", answer);
    return result(answer);
}

Bytes delete_partition(const VendorExchange& exchange, CommandContext& context)
{
    std::string name;
    std::int32_t answer = named_partition(exchange.data, context, name);
    if (answer == 0)
        answer = Partitions(context.dir).remove(name);
    context.line.add("answer", answer);
    return result(answer);
}

Bytes create_partition(const VendorExchange& exchange, CommandContext& context)
{
    Partition partition;
    std::int32_t answer = check_create(exchange.data, context, partition);
    if (answer == 0)
        answer = Partitions(context.dir).create(partition);
    context.line.add("answer", answer);
    return result(answer);
}

Bytes partition_size(const VendorExchange& exchange, CommandContext& context)
{
    std::string name;
    std::int32_t refused = named_partition(exchange.data, context, name);
    std::optional<Partition> partition;
    if (refused == 0) {
        partition = Partitions(context.dir).find(name);
        if (!partition)
            refused = kNoSuchPartition;
    }
    // A refusal answers its code in all three words.
    const auto code = static_cast<std::uint32_t>(refused);
    const std::uint32_t words[3] = {
        partition ? partition->first : code, partition ? partition->second : code,
        partition ? static_cast<std::uint32_t>(std::min<std::uint64_t>(partition->bytes, UINT32_MAX)) : code};
    Bytes reply;
    for (const std::uint32_t word : words) {
        const Bytes bytes = le32(word);
        reply.insert(reply.end(), bytes.begin(), bytes.end());
    }
    context.line.add("answer", refused);
    return reply;
}

VendorAnswer run_partition_image(const VendorExchange& exchange, UsbCommandInProgress& progress,
                                 CommandContext& context)
{
    constexpr std::string_view kName = "create_partition_image";
    const Partitions partitions(context.dir);
    if (progress.step == 0) {
        if (auto wrong = expect(kName, exchange, false, kOpening))
            return *wrong;
        if (exchange.data.size() != kImageRequestSize && exchange.data.size() != sizeof(PartitionRequest))
            return refuse(scsi::kParameterLength, std::to_string(exchange.data.size()) + " bytes where " +
                                                      std::to_string(kImageRequestSize) + " or " +
                                                      std::to_string(sizeof(PartitionRequest)) + " belong");
        Partition partition;
        progress.status = check_create(exchange.data, context, partition);
        if (progress.status == 0)
            progress.status = partitions.begin_image(partition.name);
        progress.target = partition.name;
        progress.length = partition.announced;
        progress.moved = 0;
        // The request is small; it makes the partition once the image is in.
        progress.reply = exchange.data;
        return {};
    }
    Piece piece = next_piece(progress.length, progress.moved);
    if (!exchange.data_in && piece.size != 0) {
        piece.phase = kContinuing;
        if (auto wrong = expect_piece(kName, exchange, false, piece))
            return *wrong;
        context.line.add("offset", progress.moved);
        if (progress.status == 0 && partitions.write_image(progress.target, progress.moved, exchange.data) != 0)
            return refuse(scsi::kInternalFailure, "cannot write the image of partition " + progress.target);
        progress.moved += piece.size;
        return {};
    }
    if (auto wrong = expect(kName, exchange, true, kClosing))
        return *wrong;
    std::int32_t answer = progress.status;
    if (answer == 0) {
        answer = progress.moved == progress.length ? partitions.finish_image(described(progress.reply, progress.target))
                                                   : kImageIncomplete;
        if (answer != 0)
            partitions.drop_image(progress.target);
    }
    context.line.add("received", progress.moved).add("answer", answer);
    VendorAnswer reply = send_at_most(exchange, result(answer));
    reply.ends_command = true;
    return reply;
}

void drop_unfinished_image(const UsbCommandInProgress& progress, const std::string& dir)
{
    if (progress.code == kCreatePartitionImage && progress.status == 0 && !progress.target.empty())
        Partitions(dir).drop_image(progress.target);
}

}  // namespace vreader::usb
