// The HTTP tunnel's files (vendor codes 64 and 65), in tunnel/ of the
// reader's directory: the requests the reader has prepared for a PC to carry
// out, one file each, bytes as they are, taken in name order
// ("000001.request", ...); and in tunnel/responses/ the responses the PC
// handed back, numbered the same way ("000001.response"). A request leaves
// the queue once its body was sent whole; a response arrives in
// "000001.incoming" and takes its name only once it came whole, so that a
// response broken off never passes for one. Portable C++.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::usb {

inline constexpr std::string_view kTunnelDir = "tunnel";
inline constexpr std::string_view kResponsesDir = "responses";
inline constexpr std::string_view kRequestSuffix = ".request";
inline constexpr std::string_view kResponseSuffix = ".response";
inline constexpr std::string_view kIncomingSuffix = ".incoming";

struct TunnelFile {
    std::string name;  // within tunnel/ or tunnel/responses/
    std::uint64_t size = 0;
};

// What a new reader has queued: a GET of a catalogue page.
std::string_view default_tunnel_request();

// Makes `dir`/tunnel/ afresh with the default request queued. 0 or an errno value.
int create_tunnel(const std::string& dir);

class Tunnel {
public:
    explicit Tunnel(const std::string& dir);

    // The queued requests and the responses received, by name.
    std::vector<TunnelFile> queue() const;
    std::vector<TunnelFile> responses() const;

    // Queues a request under the next number; 0 or an errno value.
    int add(std::string_view bytes, std::string& name) const;
    // Empties the queue and drops the responses; 0 or an errno value.
    int clear() const;

    // Results are 0 or the reader's codes.
    std::int32_t read_request(const std::string& name, std::uint64_t offset, std::size_t count,
                              std::vector<std::uint8_t>& out) const;
    std::int32_t take(const std::string& name) const;
    // A response in three steps: an empty incoming file for the next
    // number (the response's name in `name`), pieces written into it, and
    // the whole response under its name; or the incoming file dropped.
    std::int32_t begin_response(std::string& name) const;
    std::int32_t write_response(const std::string& name, std::uint64_t offset,
                                const std::vector<std::uint8_t>& data) const;
    std::int32_t finish_response(const std::string& name) const;
    void drop_response(const std::string& name) const;

private:
    std::string incoming(const std::string& name) const;

    std::string root_;
    std::string responses_;
};

}  // namespace vreader::usb
