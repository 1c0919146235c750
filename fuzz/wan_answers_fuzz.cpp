// devprov's modem dialogue on any answers: the handshake and one identity
// command, read line by line from a socket as from the modem's port, into
// a field of exactly its size; then the serial number's check digits.
//
// Input: one byte that picks the command (MEID or serial number), then
// everything the modem says.
#include "rawdata/devprov/devprov.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Command {
    const char* text;
    const char* prefix;
    int length;
};

constexpr Command kCommands[] = {
    {"AT$QCGSN", "0x00", static_cast<int>(devprov::kMeidLength)},
    {"AT^PSN", "^PSN:", static_cast<int>(devprov::kPsnLength)},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Command& command = kCommands[data[0] % std::size(kCommands)];
    ++data;
    --size;

    // All the answers are waiting before the dialogue starts, and the modem's
    // side says no more after them: the reads never wait out the 500 ms
    // per byte. Its side stays open for reading, so the commands written to
    // it go through.
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0 ||
        (size != 0 && write(ends[1], data, size) != static_cast<ssize_t>(size)) || shutdown(ends[1], SHUT_WR) != 0)
        std::abort();

    const auto field = std::make_unique<char[]>(static_cast<std::size_t>(command.length));
    devprov::command_after_handshake(ends[0], command.text, command.prefix, field.get(), command.length);
    if (command.length == static_cast<int>(devprov::kPsnLength)) {
        const auto digits = std::make_unique<char[]>(2);
        devprov::psn_check_digits(field.get(), digits.get());
    }
    close(ends[0]);
    close(ends[1]);
    return 0;
}
