// The HTTP tunnel, bytes only: the reader's request out, the PC's response
// in, so that a person can pipe them through an HTTP client.
#include "fendrac.h"
#include "hosttool/commands.hpp"
#include "hosttool/local_files.hpp"

#include <span>

namespace tool {
namespace {

// Writes a body the library allocated and releases it.
bool write_body(const std::string& file, void* body, int size)
{
    const bool written =
        write_local(file, std::span(static_cast<const unsigned char*>(body), body != nullptr ? size : 0));
    MSC_ebookUsb_freeHTTPRequestfromDevice(body);
    return written;
}

}  // namespace

int run_tunnel_get(Session& session, const Words& arguments)
{
    const std::string file = arguments.empty() ? "-" : arguments[0];
    if (session.json() && is_standard_stream(file))
        return bad_arguments(session, "with --json the request needs a FILE");
    if (const int status = session.open())
        return status;
    void* body = nullptr;
    int size = 0;
    if (const int result = MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body, &size))
        return session.failed("tunnel get", result);
    if (!write_body(file, body, size))
        return session.fail(kLocalUnwritten, "cannot write " + file);
    JsonObject object;
    object.add("device", session.volume().device).add("file", file).add("bytes", size);
    session.succeed(object, "");
    return 0;
}

int run_tunnel_put(Session& session, const Words& arguments)
{
    const std::string& file = arguments[0];
    const std::string next = arguments.size() > 1 ? arguments[1] : "-";
    if (session.json() && is_standard_stream(next))
        return bad_arguments(session, "with --json the reader's next request needs a NEXT file");
    const std::optional<std::vector<unsigned char>> response = read_local(file);
    if (!response)
        return session.fail(kLocalUnreadable, "cannot read " + file);
    if (const int status = session.open())
        return status;
    void* body = nullptr;
    int size = 0;
    if (const int result = MSC_ebookUsb_sendHTTPResponsetoDevice(
            response->data(), static_cast<int>(response->size()), &size, &body))
        return session.failed("tunnel put", result);
    if (!write_body(next, body, size))
        return session.fail(kLocalUnwritten, "cannot write " + next);
    JsonObject object;
    object.add("device", session.volume().device)
        .add("bytes", response->size())
        .add("next_file", next)
        .add("next_bytes", size);
    session.succeed(object, "");
    return 0;
}

}  // namespace tool
