#include "tests/hostlib/scripted_device.hpp"
#include "tests/hostlib/scripted_tree.hpp"

#include "hostlib/os/host_device.hpp"
#include "hostlib/pass_through.hpp"

#include <algorithm>
#include <cstring>

namespace scripted {
namespace {

struct State {
    Responder responder = good_reader;
    std::vector<Exchange> log;
    bool volumes_open = true;
    std::function<hostos::Handle(const std::wstring&)> broker;
    int broker_calls = 0;
    int opened = 0;
    int closed = 0;
};

State& state()
{
    static State instance;
    return instance;
}

const hostos::Handle kVolume = reinterpret_cast<hostos::Handle>(0x5000);

}  // namespace

Answer good_reader(const Exchange& exchange)
{
    Answer answer;
    if (!exchange.data_in)
        return answer;
    if (exchange.code() == 1) {
        const char version[] = "01000010";
        answer.data.assign(version, version + 8);
    }
    answer.data.resize(exchange.length);
    return answer;
}

void reset()
{
    state() = State{};
    set_tree(usb_reader_tree());
}
void respond(Responder responder) { state().responder = std::move(responder); }
const std::vector<Exchange>& log() { return state().log; }
void volumes_open(bool open) { state().volumes_open = open; }
void broker(std::function<hostos::Handle(const std::wstring&)> open) { state().broker = std::move(open); }
int broker_calls() { return state().broker_calls; }
int volumes_opened() { return state().opened; }
int volumes_closed() { return state().closed; }

std::vector<std::uint8_t> word(std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

}  // namespace scripted

namespace hostos {

Handle open_volume(const wchar_t*)
{
    if (!scripted::state().volumes_open)
        return invalid_handle();
    ++scripted::state().opened;
    return scripted::kVolume;
}

std::vector<std::string> volume_nodes() { return {}; }

Handle open_volume_ansi(const char* path)
{
    (void)path;
    return open_volume(nullptr);
}

void close_volume(Handle handle)
{
    if (scripted::is_interface_handle(handle))
        scripted::close_interface(handle);
    else
        ++scripted::state().closed;
}

bool device_io_control(Handle handle, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size, std::uint32_t& returned)
{
    returned = 0;
    if (scripted::is_interface_handle(handle))
        return scripted::tree_io_control(handle, code, out, out_size, returned, false);
    if (handle != scripted::kVolume && handle != reinterpret_cast<Handle>(0x6000))
        return false;
    if (code != kIoctlScsiPassThrough)
        return scripted::tree_io_control(handle, code, out, out_size, returned, true);
    fendrac::ScsiPassThrough header;
    std::memcpy(&header, in, sizeof header);
    scripted::Exchange exchange;
    std::memcpy(exchange.header.data(), in, exchange.header.size());
    std::memcpy(exchange.cdb.data(), header.Cdb, 16);
    exchange.cdb_length = header.CdbLength;
    exchange.data_in = header.DataIn != 0;
    exchange.length = header.DataTransferLength;
    exchange.in_size = in_size;
    exchange.out_size = out_size;
    if (!exchange.data_in) {
        const auto* bytes = static_cast<const std::uint8_t*>(in) + header.DataBufferOffset;
        exchange.data_out.assign(bytes, bytes + header.DataTransferLength);
    }
    scripted::state().log.push_back(exchange);
    const scripted::Answer answer = scripted::state().responder(exchange);

    auto* reply = static_cast<std::uint8_t*>(out);
    if (reply != in)
        std::memcpy(reply, in, std::min(in_size, out_size));
    auto& back = *reinterpret_cast<fendrac::ScsiPassThrough*>(reply);
    back.ScsiStatus = answer.status;
    const auto sent = static_cast<std::uint32_t>(
        std::min<std::size_t>(answer.data.size(), out_size - header.DataBufferOffset));
    if (exchange.data_in) {
        if (sent != 0)
            std::memcpy(reply + header.DataBufferOffset, answer.data.data(), sent);
        back.DataTransferLength = answer.transfer_length.value_or(sent);
    } else {
        // As a driver does: the bytes the device took, none when it refused
        // the command.
        back.DataTransferLength = answer.transfer_length.value_or(
            answer.status == fendrac::kScsiCheckCondition ? 0 : header.DataTransferLength);
    }
    returned = answer.returned.value_or(header.DataBufferOffset + (exchange.data_in ? sent : 0));
    return answer.call_ok;
}

Handle broker_open(const wchar_t* path, std::uint32_t)
{
    ++scripted::state().broker_calls;
    if (!scripted::state().broker)
        return invalid_handle();
    return scripted::state().broker(path);
}

}  // namespace hostos
