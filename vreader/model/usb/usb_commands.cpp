#include "vreader/model/usb/usb_commands.hpp"

#include "vreader/model/usb/usb_exchange.hpp"

#include <algorithm>
#include <cstring>

namespace vreader::usb {
namespace {

using protocol::vendor::kCreateRequestSize;
using protocol::vendor::kPartitionNameSize;
using protocol::vendor::kPathFieldSize;
using protocol::vendor::kUnlockCodeSize;

// How a command's exchanges run.
enum class Shape {
    Read,          // in 1: the reply
    RequestReply,  // out 1: the request; in 2: the reply
    Info,          // out 1: the query; in 3: the total; in 3: pieces; out 2: bytes not fetched
    Transfer,      // its own run of exchanges, moving data in pieces
};

using ReplyMaker = Bytes (*)(const VendorExchange& exchange, CommandContext& context);
using TransferRunner = VendorAnswer (*)(const VendorExchange& exchange, UsbCommandInProgress& progress,
                                        CommandContext& context);

struct Command {
    std::uint8_t code;
    std::string_view name;
    Shape shape;
    std::size_t request_size;  // RequestReply: the request's bytes; 0: any of 1 to kMaxPhase
    bool newer;                // only from the newer protocol version on
    // The reply, from the request (RequestReply) or at once (Read); Info
    // commands look their reply up themselves.
    ReplyMaker reply;
    TransferRunner run = nullptr;  // Transfer
};

Bytes protocol_version(const VendorExchange& exchange, CommandContext& context)
{
    context.line.add("selector", exchange.selector);
    return Bytes(context.content.version.begin(), context.content.version.end());
}

Bytes connect(const VendorExchange& exchange, CommandContext& context)
{
    const std::uint32_t flag = read_le32(exchange.data);
    context.line.add("connected", flag);
    context.content.connected = flag != 0;
    return result(0);
}

Bytes unlock(const VendorExchange& exchange, CommandContext& context)
{
    std::int32_t answer = 0;
    if (!context.content.locked) {
        context.line.add("unlock", "not locked");
    } else if (text_of(exchange.data) == context.content.unlock_code) {
        context.content.locked = false;
        context.line.add("unlock", "unlocked");
    } else {
        answer = kLocked;
        context.line.add("unlock", "wrong code");
    }
    context.line.add("answer", answer);
    return result(answer);
}

Bytes property(const VendorExchange&, CommandContext& context)
{
    PropertyBlock block{};
    std::memcpy(block.head, context.content.property_head.data(), sizeof block.head);
    std::memcpy(block.device_type, context.content.device_type.data(),
                std::min(context.content.device_type.size(), sizeof block.device_type - 1));
    block.count[0] = 1;
    std::memcpy(block.entry, context.content.property_entry.data(),
                std::min(context.content.property_entry.size(), sizeof block.entry - 1));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
    return Bytes(bytes, bytes + sizeof block);
}

Bytes set_time(const VendorExchange& exchange, CommandContext& context)
{
    context.content.clock = exchange.data;
    return result(0);
}

Bytes free_space(const VendorExchange&, CommandContext& context)
{
    Bytes reply = le32(static_cast<std::uint32_t>(context.content.free_space));
    const Bytes high = le32(static_cast<std::uint32_t>(context.content.free_space >> 32));
    reply.insert(reply.end(), high.begin(), high.end());
    return reply;
}

Bytes begin_end(const VendorExchange& exchange, CommandContext& context)
{
    context.content.notice = read_le32(exchange.data);
    ++context.content.notices;
    context.line.add("value", context.content.notice);
    return result(0);
}

Bytes media_state(const VendorExchange&, CommandContext& context)
{
    Bytes reply = le32(0);
    reply.insert(reply.end(), context.content.media_state.begin(), context.content.media_state.end());
    return reply;
}

// cppcheck-suppress constParameter ; the command table's handler type, which other handlers write through
Bytes fingerprint(const VendorExchange&, CommandContext& context) { return context.content.fingerprint; }

Bytes info(const VendorExchange& exchange, CommandContext& context)
{
    const std::string query = text_of(exchange.data);
    context.line.add("query", query);
    const auto found = context.content.info.find(query);
    return found == context.content.info.end() ? Bytes{} : Bytes(found->second.begin(), found->second.end());
}

constexpr Command kCommands[] = {
    {kProtocolVersion, "protocol_version", Shape::Read, 0, false, protocol_version},
    {kConnect, "connect", Shape::RequestReply, 4, false, connect},
    {kUnlock, "unlock", Shape::RequestReply, kUnlockCodeSize, false, unlock},
    {kProperty, "property", Shape::Read, 0, false, property},
    {kSetTime, "set_time", Shape::RequestReply, kClockSize, false, set_time},
    {kFreeSpace, "free_space", Shape::RequestReply, 4, false, free_space},
    {kBeginEnd, "begin_end", Shape::RequestReply, 4, false, begin_end},
    {kMediaState, "media_state", Shape::Read, 0, false, media_state},
    {kHttpRequest, "http_request", Shape::Transfer, 0, false, nullptr, run_tunnel_request},
    {kHttpResponse, "http_response", Shape::Transfer, 0, false, nullptr, run_tunnel_response},
    {kUpdateMode, "update_mode", Shape::RequestReply, 4, false, change_mode},
    {kDeletePartition, "delete_partition", Shape::RequestReply, kPartitionNameSize, false, delete_partition},
    {kCreatePartition, "create_partition", Shape::RequestReply, kCreateRequestSize, false, create_partition},
    {kCreatePartitionImage, "create_partition_image", Shape::Transfer, 0, false, nullptr, run_partition_image},
    {kPartitionSize, "partition_size", Shape::RequestReply, kPartitionNameSize, false, partition_size},
    {kFileSize, "file_size", Shape::RequestReply, kPathFieldSize, false, file_size},
    {kFileRead, "file_read", Shape::Transfer, 0, false, nullptr, run_file_read},
    {kFileWrite, "file_write", Shape::Transfer, 0, false, nullptr, run_file_write},
    {kFileDelete, "file_delete", Shape::RequestReply, kPathFieldSize, false, file_delete},
    {kFingerprint, "fingerprint", Shape::RequestReply, 0, true, fingerprint},
    {kGetInfo, "get_info", Shape::Info, 0, true, info},
};

const Command* find_command(std::uint8_t code)
{
    for (const Command& command : kCommands)
        if (command.code == code)
            return &command;
    return nullptr;
}

std::string code_text(std::uint8_t code)
{
    const std::string_view name = command_name(code);
    return name.empty() ? "code " + std::to_string(code) : std::string(name);
}

// Sends the next bytes of the prepared reply, as many as the PC takes.
VendorAnswer send_reply(const VendorExchange& exchange, UsbCommandInProgress& progress)
{
    VendorAnswer answer;
    const std::size_t count = std::min<std::size_t>(exchange.asked, progress.reply.size() - progress.sent);
    const auto from = progress.reply.begin() + progress.sent;
    answer.data.assign(from, from + static_cast<std::ptrdiff_t>(count));
    progress.sent += static_cast<std::uint32_t>(count);
    return answer;
}

VendorAnswer run_read(const Command& command, const VendorExchange& exchange, UsbCommandInProgress& progress,
                      CommandContext& context)
{
    if (auto wrong = expect(command.name, exchange, true, kOpening))
        return *wrong;
    progress.reply = command.reply(exchange, context);
    VendorAnswer answer = send_reply(exchange, progress);
    answer.ends_command = true;
    return answer;
}

VendorAnswer run_request_reply(const Command& command, const VendorExchange& exchange, UsbCommandInProgress& progress,
                               CommandContext& context)
{
    if (progress.step == 0) {
        if (auto wrong = expect(command.name, exchange, false, kOpening))
            return *wrong;
        const std::size_t min = command.request_size == 0 ? 1 : command.request_size;
        const std::size_t max = command.request_size == 0 ? kMaxPhase : command.request_size;
        if (auto wrong = expect_size(exchange, min, max))
            return *wrong;
        progress.reply = command.reply(exchange, context);
        return {};
    }
    if (auto wrong = expect(command.name, exchange, true, kClosing))
        return *wrong;
    VendorAnswer answer = send_reply(exchange, progress);
    answer.ends_command = true;
    return answer;
}

VendorAnswer run_info(const Command& command, const VendorExchange& exchange, UsbCommandInProgress& progress,
                      CommandContext& context)
{
    JsonLine& line = context.line;
    if (progress.step == 0) {
        if (auto wrong = expect(command.name, exchange, false, kOpening))
            return *wrong;
        if (auto wrong = expect_size(exchange, 0, kMaxPhase))
            return *wrong;
        progress.reply = command.reply(exchange, context);
        return {};
    }
    if (progress.step == 1) {
        if (auto wrong = expect(command.name, exchange, true, kContinuing))
            return *wrong;
        const auto total = static_cast<std::uint32_t>(progress.reply.size());
        line.add("total", total);
        return send_at_most(exchange, le32(total));
    }
    if (exchange.data_in) {
        if (auto wrong = expect(command.name, exchange, true, kContinuing))
            return *wrong;
        line.add("offset", progress.sent);
        return send_reply(exchange, progress);
    }
    if (auto wrong = expect(command.name, exchange, false, kClosing))
        return *wrong;
    if (auto wrong = expect_size(exchange, 4, 4))
        return *wrong;
    const auto not_fetched = static_cast<std::int32_t>(read_le32(exchange.data));
    line.add("not_fetched", not_fetched).add("unsent", progress.reply.size() - progress.sent);
    context.content.getinfo_ack = not_fetched;
    VendorAnswer answer;
    answer.ends_command = true;
    return answer;
}

VendorAnswer dispatch(const VendorExchange& exchange, CommandContext& context)
{
    UsbContent& content = context.content;
    const Command* command = find_command(exchange.code);
    if (command != nullptr && command->newer && !offers_newer_commands(content.version))
        command = nullptr;
    if (command == nullptr)
        return refuse(scsi::kInvalidOperation, "unknown vendor command " + std::to_string(exchange.code));
    if (content.command && exchange.phase == kOpening) {
        context.line.add("abandoned", code_text(content.command->code)).add("abandoned_step", content.command->step);
        drop_unfinished(*content.command, context.dir);
        content.command.reset();
    }
    if (content.command && content.command->code != exchange.code)
        return refuse(scsi::kCommandSequence, std::string(command->name) + " " +
                                                  phase_text(exchange.data_in, exchange.phase) + " while " +
                                                  code_text(content.command->code) + " is unfinished");
    if (!content.command && exchange.phase != kOpening)
        return refuse(
            scsi::kCommandSequence,
            std::string(command->name) + " " + phase_text(exchange.data_in, exchange.phase) + " with no command open");
    UsbCommandInProgress progress;
    progress.code = exchange.code;
    if (content.command)
        progress = *content.command;
    VendorAnswer answer;
    switch (command->shape) {
    case Shape::Read:
        answer = run_read(*command, exchange, progress, context);
        break;
    case Shape::RequestReply:
        answer = run_request_reply(*command, exchange, progress, context);
        break;
    case Shape::Info:
        answer = run_info(*command, exchange, progress, context);
        break;
    case Shape::Transfer:
        answer = command->run(exchange, progress, context);
        break;
    }
    ++progress.step;
    if (answer.ends_command)
        content.command.reset();
    else
        content.command = progress;
    return answer;
}

// Why a vendor block is malformed; empty when it is not.
std::string block_error(const std::array<std::uint8_t, 16>& cdb, std::uint8_t cdb_length)
{
    if (cdb_length != kVendorCdbLength)
        return "a vendor block of " + std::to_string(cdb_length) + " bytes, not 10";
    const std::uint8_t phase = cdb[4];
    if (phase != kOpening && phase != kClosing && phase != kContinuing)
        return "phase code " + std::to_string(phase) + " in byte 4";
    for (const std::size_t at : {1, 3, 5, 6, 7, 8, 9}) {
        if (cdb[at] == 0 || (at == 5 && cdb[2] == kProtocolVersion))
            continue;
        return "byte " + std::to_string(at) + " of the vendor block is " + std::to_string(cdb[at]) + ", not 0";
    }
    return {};
}

VendorExchange exchange_of(const VendorRequest& request)
{
    VendorExchange exchange;
    exchange.code = request.cdb[2];
    exchange.phase = request.cdb[4];
    exchange.selector = request.cdb[5];
    exchange.data_in = request.data_in;
    exchange.asked = request.data_in ? request.asked : 0;
    if (!request.data_in)
        exchange.data = request.data;
    return exchange;
}

}  // namespace

std::string_view command_name(std::uint8_t code)
{
    const Command* command = find_command(code);
    return command == nullptr ? std::string_view{} : command->name;
}

void drop_unfinished(const UsbCommandInProgress& progress, const std::string& dir)
{
    drop_unfinished_image(progress, dir);
    drop_unfinished_response(progress, dir);
}

bool is_reply(std::uint8_t code, std::uint8_t phase, bool data_in)
{
    const Command* command = find_command(code);
    return data_in && (phase == kClosing || (command != nullptr && command->shape == Shape::Read));
}

bool offers_newer_commands(const std::string& version)
{
    if (version.size() != kVersionSize || version.compare(0, 4, "0100") != 0)
        return false;
    std::uint32_t minor = 0;
    for (std::size_t i = 0; i < 4; ++i)
        minor |= std::uint32_t{static_cast<std::uint8_t>(version[4 + i])} << (8 * i);
    return minor > 0x3031302F;
}

VendorAnswer handle(const VendorRequest& request, UsbContent& content, const std::string& reader_dir, JsonLine& line)
{
    const UsbContent before = content;
    const std::string malformed = block_error(request.cdb, request.cdb_length);
    CommandContext context{content, reader_dir, line};
    VendorAnswer answer =
        malformed.empty() ? dispatch(exchange_of(request), context) : refuse(scsi::kInvalidCdbField, malformed);
    if (answer.refused && content.command) {
        drop_unfinished(*content.command, reader_dir);
        content.command.reset();
    }
    answer.changed = !(content == before);
    return answer;
}

}  // namespace vreader::usb
