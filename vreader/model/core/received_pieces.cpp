#include "vreader/model/core/received_pieces.hpp"

#include "vreader/model/core/tty_file.hpp"

#include <poll.h>

#include <algorithm>
#include <cstring>

namespace vreader {

std::size_t ReceivedPieces::take(void* buf, std::size_t count, bool short_read, JsonLine& line)
{
    std::string& piece = pieces_.front();
    std::size_t n = std::min(count, piece.size());
    if (short_read)
        n = std::max<std::size_t>(1, n / 2);
    std::memcpy(buf, piece.data(), n);
    line.add("bytes", hex_bytes(piece.data(), n));
    piece.erase(0, n);
    if (piece.empty())
        pieces_.pop_front();
    return n;
}

short ReceivedPieces::poll_ready(short requested) const
{
    short ready = static_cast<short>(requested & (POLLOUT | POLLWRNORM));
    if (!pieces_.empty())
        ready = static_cast<short>(ready | (requested & (POLLIN | POLLRDNORM)));
    return ready;
}

}  // namespace vreader
