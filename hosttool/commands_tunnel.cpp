// The HTTP tunnel, bytes only: the reader's request out, the PC's response
// in, so that a person can pipe them through an HTTP client.
#include "fendrac.h"
#include "hosttool/commands.hpp"
#include "hosttool/local_files.hpp"
#include "hosttool/pieces.hpp"

#include <cstdio>
#include <span>
#include <vector>

namespace tool {
namespace {

// The library takes a response as one buffer, its size an int.
constexpr SizeLimit kResponse{kLargestFile, false, "a response"};

// The library's buffer for a body, released however the command ends.
struct Body {
    void* data = nullptr;
    int size = 0;
    ~Body() { MSC_ebookUsb_freeHTTPRequestfromDevice(data); }
    bool none() const { return data == nullptr || size <= 0; }
};

// Opens where a request the reader prepares goes, before the library call
// that fetches it: a place that cannot be written is said while the
// request still waits on the reader, a FIFO's open waits for its reader
// while an interrupt still ends the run at once, and nothing appears at a
// file unless a request comes (the sink's partial file goes).
int open_sink(Session& session, LocalSink& sink, const std::string& file)
{
    std::string error;
    if (!sink.open(file, error))
        return session.fail(kLocalUnwritten, "cannot write " + local_name(file, false) + ": " + error);
    return 0;
}

// Writes a request the reader prepared to `sink`, or nothing when there is
// none; `said` tells what happened, in the words of the text output. 0 or
// the status.
int hand_out(Session& session, const Body& body, LocalSink& sink, const std::string& file, const std::string& which,
             std::string& said)
{
    if (body.none()) {
        said = "no " + which + " waiting on the reader";
        // Standard output carries only the request's bytes.
        if (is_standard_stream(file) && !session.json())
            std::fprintf(stderr, "fendrac: %s\n", said.c_str());
        return 0;
    }
    std::string error;
    if (!sink.write(std::span(static_cast<const unsigned char*>(body.data), static_cast<std::size_t>(body.size)),
                    error) ||
        !sink.commit(error)) {
        // A write that waits (a pipe) returns on an interrupt.
        if (interrupted())
            return session.fail(interrupted_status(), "tunnel: the " + which + " not written: interrupted");
        return session.fail(kLocalUnwritten, "cannot write " + local_name(file, false) + ": " + error);
    }
    said = "the " + which + " -> " + file + ": " + std::to_string(body.size) + " bytes";
    return 0;
}

}  // namespace

int run_tunnel_get(Session& session, const Words& arguments)
{
    const std::string file = arguments.empty() ? "-" : arguments[0];
    if (session.json() && is_standard_stream(file))
        return bad_arguments(session, "with --json the request needs a FILE");
    LocalSink sink;
    if (const int status = open_sink(session, sink, file))
        return status;
    if (const int status = session.open())
        return status;
    Body body;
    if (const int result = MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body.data, &body.size))
        return session.failed("tunnel get", result);
    std::string said;
    if (const int status = hand_out(session, body, sink, file, "request", said))
        return status;
    JsonObject object = session.outcome();
    object.add_bool("request", !body.none()).add("file", file).add("bytes", body.none() ? 0 : body.size);
    return session.succeed(object, is_standard_stream(file) ? "" : said);
}

int run_tunnel_put(Session& session, const Words& arguments)
{
    const std::string& file = arguments[0];
    const std::string next = arguments.size() > 1 ? arguments[1] : "-";
    if (session.json() && is_standard_stream(next))
        return bad_arguments(session, "with --json the reader's next request needs a NEXT file");
    // The library takes the response as one buffer.
    std::vector<unsigned char> response;
    std::string error;
    if (!read_whole(file, kResponse, response, error))
        return session.fail(kLocalUnreadable, error);
    LocalSink sink;
    if (const int status = open_sink(session, sink, next))
        return status;
    if (const int status = session.open())
        return status;
    Body body;
    if (const int result = MSC_ebookUsb_sendHTTPResponsetoDevice(response.data(), static_cast<int>(response.size()),
                                                                 &body.size, &body.data))
        return session.failed("tunnel put", result);
    std::string said;
    if (const int status = hand_out(session, body, sink, next, "next request", said))
        return status;
    JsonObject object = session.outcome();
    object.add("bytes", response.size())
        .add_bool("next_request", !body.none())
        .add("next_file", next)
        .add("next_bytes", body.none() ? 0 : body.size);
    return session.succeed(object, is_standard_stream(next) ? ""
                                                            : local_name(file, true) + " -> the reader: " +
                                                                  std::to_string(response.size()) + " bytes; " + said);
}

}  // namespace tool
