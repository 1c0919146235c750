// vreader screenshot: save what the panel shows (or memory, or the standby
// screen) as a PNG file.
#include "vreader/launcher/cli.hpp"
#include "vreader/launcher/png_writer.hpp"
#include "vreader/model/devices/display/snapshots.hpp"

namespace vreader::cli {
namespace {

int run_screenshot(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    enum class Source { Panel, Memory, Standby } source = Source::Panel;
    int sources = 0;
    std::vector<std::string_view> positional;
    for (const auto arg : args) {
        if (arg == "--memory" || arg == "--standby") {
            source = arg == "--memory" ? Source::Memory : Source::Standby;
            ++sources;
        } else if (arg.starts_with("-") && arg.size() > 1) {
            return usage_error(verb, "unknown option " + std::string(arg));
        } else {
            positional.push_back(arg);
        }
    }
    if (sources > 1)
        return usage_error(verb, "--memory and --standby exclude each other");
    if (positional.size() != 2)
        return usage_error(verb, positional.size() < 2 ? "too few arguments" : "too many arguments");
    const auto reader = open_reader(verb, positional[0]);
    if (!reader)
        return kExitFailure;
    Image image;
    std::string error;
    const bool taken = source == Source::Panel    ? panel_snapshot(*reader, image, error)
                       : source == Source::Memory ? memory_snapshot(*reader, image, error)
                                                  : standby_snapshot(*reader, image, error);
    if (!taken || !write_png(std::string(positional[1]), image, error))
        return failure(verb, error);
    return 0;
}

}  // namespace

const Verb kScreenshotVerb = {
    "screenshot",
    "DIR FILE.png [--memory | --standby]",
    "save the panel image as a PNG file",
    "Saves what the panel shows as an 8-bit grayscale PNG, in the panel's\n"
    "native orientation.\n\n"
    "  --memory    instead, the visible page of framebuffer memory in the\n"
    "              current orientation, as RGB\n"
    "  --standby   instead, the standby screen image, as RGB\n",
    run_screenshot,
};

}  // namespace vreader::cli
