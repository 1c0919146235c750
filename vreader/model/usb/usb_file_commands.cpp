// The file service's commands (codes 128 to 131): the request records, the
// status exchange and the data pieces, each piece read from or written to
// the file when its exchange comes.
#include "vreader/model/usb/usb_exchange.hpp"
#include "vreader/model/usb/usb_files.hpp"

#include <cstddef>
#include <cstring>

namespace vreader::usb {
namespace {

// The request of a read (all 268 bytes) or a write (the first 264; the last
// word is the PC's data address and stays on the PC).
using protocol::vendor::FileRequest;
using protocol::vendor::kReadRequestSize;
using protocol::vendor::kWriteRequestSize;

std::string storage_root(const std::string& dir) { return dir + "/" + std::string(kStorageDir); }

std::int32_t signed_word(const Bytes& data, std::size_t at) { return static_cast<std::int32_t>(read_le32(data, at)); }

Bytes path_field(const Bytes& data) { return Bytes(data.begin(), data.begin() + kPathFieldSize); }

// The path the journal shows: what the PC sent, up to 256 characters.
std::string sent_path(const Bytes& data) { return text_of(path_field(data)); }

// Takes the opening request of a read or write: the status it will answer,
// and the file, position and length it then moves.
VendorAnswer open_transfer(std::string_view name, bool write, const VendorExchange& exchange,
                           UsbCommandInProgress& progress, CommandContext& context)
{
    if (auto wrong = expect(name, exchange, false, kOpening))
        return *wrong;
    const std::size_t size = write ? kWriteRequestSize : kReadRequestSize;
    if (auto wrong = expect_size(exchange, size, size))
        return *wrong;
    const std::int32_t position = signed_word(exchange.data, offsetof(FileRequest, position));
    const std::int32_t length = signed_word(exchange.data, offsetof(FileRequest, length));
    JsonLine& line = context.line;
    line.add("path", sent_path(exchange.data)).add("position", position).add("data_length", length);
    if (!write)
        line.add("option", signed_word(exchange.data, offsetof(FileRequest, option)));

    const std::string path = storage_path(path_field(exchange.data));
    const Storage storage(storage_root(context.dir));
    std::int32_t status = 0;
    if (context.content.file_status != 0) {
        status = context.content.file_status;
        context.content.file_status = 0;
        line.add("status_knob", status);
    } else if (path.empty()) {
        status = kPathRefused;
    } else {
        status = write ? storage.prepare_write(path, position, length) : storage.check_read(path, position, length);
    }
    progress.target = path;
    progress.position = position;
    progress.length = length > 0 ? static_cast<std::uint32_t>(length) : 0;
    progress.moved = 0;
    progress.status = status;
    // The status exchange is the closing one when no data is to follow.
    progress.stage = length > 0 ? kContinuing : kClosing;
    return {};
}

VendorAnswer send_status(std::string_view name, const VendorExchange& exchange, UsbCommandInProgress& progress,
                         CommandContext& context)
{
    if (auto wrong = expect(name, exchange, true, static_cast<std::uint8_t>(progress.stage)))
        return *wrong;
    context.line.add("file_status", progress.status);
    VendorAnswer answer = send_at_most(exchange, result(progress.status));
    answer.ends_command = progress.status != 0 || progress.length == 0;
    return answer;
}

}  // namespace

Bytes file_size(const VendorExchange& exchange, CommandContext& context)
{
    context.line.add("path", sent_path(exchange.data));
    const std::string path = storage_path(exchange.data);
    const std::int32_t size = path.empty() ? kPathRefused : Storage(storage_root(context.dir)).size(path);
    context.line.add("size", size);
    return result(size);
}

Bytes file_delete(const VendorExchange& exchange, CommandContext& context)
{
    context.line.add("path", sent_path(exchange.data));
    const std::string path = storage_path(exchange.data);
    const std::int32_t answer = path.empty() ? kPathRefused : Storage(storage_root(context.dir)).remove(path);
    context.line.add("answer", answer);
    return result(answer);
}

VendorAnswer run_file_read(const VendorExchange& exchange, UsbCommandInProgress& progress, CommandContext& context)
{
    constexpr std::string_view kName = "file_read";
    if (progress.step == 0)
        return open_transfer(kName, false, exchange, progress, context);
    if (progress.step == 1)
        return send_status(kName, exchange, progress, context);
    const Piece piece = next_piece(progress.length, progress.moved);
    if (auto wrong = expect_piece(kName, exchange, true, piece))
        return *wrong;
    context.line.add("offset", progress.moved);
    VendorAnswer answer;
    const Storage storage(storage_root(context.dir));
    if (storage.read(progress.target, progress.position + progress.moved, piece.size, answer.data) != 0)
        return refuse(scsi::kInternalFailure, "cannot read " + progress.target + " of storage/");
    progress.moved += piece.size;
    answer.ends_command = progress.moved == progress.length;
    return answer;
}

VendorAnswer run_file_write(const VendorExchange& exchange, UsbCommandInProgress& progress, CommandContext& context)
{
    constexpr std::string_view kName = "file_write";
    if (progress.step == 0)
        return open_transfer(kName, true, exchange, progress, context);
    if (progress.step == 1)
        return send_status(kName, exchange, progress, context);
    const Piece piece = next_piece(progress.length, progress.moved);
    if (auto wrong = expect_piece(kName, exchange, false, piece))
        return *wrong;
    context.line.add("offset", progress.moved);
    const Storage storage(storage_root(context.dir));
    if (storage.write(progress.target, progress.position + progress.moved, exchange.data) != 0)
        return refuse(scsi::kInternalFailure, "cannot write " + progress.target + " of storage/");
    progress.moved += piece.size;
    VendorAnswer answer;
    answer.ends_command = progress.moved == progress.length;
    return answer;
}

}  // namespace vreader::usb
