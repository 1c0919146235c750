// vreader tunnel: the HTTP requests a reader has queued for a PC to carry
// out, and the responses the PC handed back.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/reader_lock.hpp"
#include "vreader/model/usb/usb_tunnel.hpp"

#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

std::optional<std::string> read_stdin()
{
    std::string bytes;
    char buffer[8192];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        bytes.append(buffer, n);
    if (std::ferror(stdin))
        return std::nullopt;
    return bytes;
}

// A request's first line, as far as it is printable: "GET / HTTP/1.1".
std::string first_line(const std::string& path)
{
    std::string bytes;
    if (read_file(path, bytes) != 0)
        return {};
    std::string line;
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7E || line.size() == 72)
            break;
        line += c;
    }
    return line;
}

int run_tunnel(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    std::optional<std::string_view> dir;
    std::optional<std::string_view> add;
    bool clear = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--add") {
            if (i + 1 == args.size())
                return usage_error(verb, "--add needs a file, or - for standard input");
            add = args[++i];
        } else if (args[i] == "--clear") {
            clear = true;
        } else if (args[i].starts_with("-")) {
            return usage_error(verb, "unknown option " + std::string(args[i]));
        } else if (dir) {
            return usage_error(verb, "unexpected argument " + std::string(args[i]));
        } else {
            dir = args[i];
        }
    }
    if (!dir)
        return usage_error(verb, "no directory");
    if (add && clear)
        return usage_error(verb, "--add and --clear together");
    const auto reader = open_reader(verb, *dir);
    if (!reader)
        return kExitFailure;
    const usb::Tunnel tunnel(reader->path());
    std::optional<std::string> bytes;
    if (add) {
        bytes = *add == "-" ? read_stdin() : std::optional<std::string>(std::in_place);
        if (*add != "-") {
            if (const int e = read_file(std::string(*add), *bytes))
                return failure(verb, "cannot read " + std::string(*add) + ": " + std::strerror(e));
        }
        if (!bytes)
            return failure(verb, "cannot read the standard input");
    }
    const ReaderLock lock(reader->file(kLockFile));
    if (add) {
        std::string name;
        if (const int e = tunnel.add(*bytes, name))
            return failure(verb, std::string("cannot queue the request: ") + std::strerror(e));
        std::printf("queued %s (%zu bytes)\n", name.c_str(), bytes->size());
        return 0;
    }
    if (clear) {
        if (const int e = tunnel.clear())
            return failure(verb, std::string("cannot empty the tunnel: ") + std::strerror(e));
        return 0;
    }
    const std::string folder = reader->file(usb::kTunnelDir) + "/";
    for (const usb::TunnelFile& file : tunnel.queue())
        std::printf("request %s %llu %s\n", file.name.c_str(), static_cast<unsigned long long>(file.size),
                    first_line(folder + file.name).c_str());
    for (const usb::TunnelFile& file : tunnel.responses())
        std::printf("response %s %llu %s\n", file.name.c_str(), static_cast<unsigned long long>(file.size),
                    first_line(folder + std::string(usb::kResponsesDir) + "/" + file.name).c_str());
    return 0;
}

}  // namespace

const Verb kTunnelVerb = {
    "tunnel",
    "DIR [--add FILE|- | --clear]",
    "queue HTTP requests for a PC, list them and the responses",
    "The reader has a PC carry out its HTTP traffic over USB: the PC fetches the\n"
    "requests queued in DIR/tunnel/ (one file each, bytes as they are, oldest\n"
    "first) and hands back a response for each, kept in DIR/tunnel/responses/.\n"
    "A request leaves the queue once the PC has fetched it whole.\n\n"
    "Without options, lists the queue and the responses, a line each:\n"
    "  request NAME BYTES FIRST-LINE\n"
    "  response NAME BYTES FIRST-LINE\n\n"
    "  --add FILE   queue FILE's bytes as the next request (- reads standard\n"
    "               input); prints the name it got\n"
    "  --clear      empty the queue and drop the responses\n",
    run_tunnel,
};

}  // namespace vreader::cli
