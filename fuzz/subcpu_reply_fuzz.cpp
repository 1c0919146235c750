// The sub-CPU link's reply reading and checking on any bytes from the
// device: one read of the reply's size for each reply, over a pipe, then the
// check on the bytes as a whole packet.
//
// Input: the request code (any byte: codes without a reply size included),
// then what the device returns, reply after reply.
#include "subcpu/subcmd.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The link prints every fault on stdout; the fuzzer reports on stderr.
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0)
        std::abort();
    close(null);
    subcmd::debug_cmd_out();  // the good replies printed as well
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t code = data[0];
    ++data;
    --size;

    // The bytes are all in the pipe and its writing end closed, so that the
    // last read comes short at once.
    int ends[2];
    if (pipe(ends) != 0 || (size != 0 && write(ends[1], data, size) != static_cast<ssize_t>(size)))
        std::abort();
    close(ends[1]);
    const std::uint8_t sent[subcmd::kPacketBuffer] = {subcmd::kLeadByte, 0, code};
    std::uint8_t reply[subcmd::kPacketBuffer];
    for (std::size_t replies = 0; replies <= size; ++replies)
        if (!subcmd::receive_reply(ends[0], code, reply, sent))
            break;
    close(ends[0]);

    std::fill(std::begin(reply), std::end(reply), 0);
    std::copy(data, data + std::min(size, sizeof reply), reply);
    subcmd::check_reply(reply, code);
    return 0;
}
