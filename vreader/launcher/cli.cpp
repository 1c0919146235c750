#include "vreader/launcher/cli.hpp"

#include "vreader/model/state/key_value.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vreader::cli {

void print_verb_help(const Verb& verb)
{
    std::printf("usage: vreader %.*s %.*s\n\n%.*s\n", static_cast<int>(verb.name.size()), verb.name.data(),
                static_cast<int>(verb.synopsis.size()), verb.synopsis.data(), static_cast<int>(verb.help.size()),
                verb.help.data());
}

int usage_error(const Verb& verb, const std::string& message)
{
    std::fprintf(stderr, "vreader %.*s: %s\nusage: vreader %.*s %.*s\nTry 'vreader %.*s --help'.\n",
                 static_cast<int>(verb.name.size()), verb.name.data(), message.c_str(),
                 static_cast<int>(verb.name.size()), verb.name.data(), static_cast<int>(verb.synopsis.size()),
                 verb.synopsis.data(), static_cast<int>(verb.name.size()), verb.name.data());
    return kExitUsage;
}

int failure(const Verb& verb, const std::string& message)
{
    std::fprintf(stderr, "vreader %.*s: %s\n", static_cast<int>(verb.name.size()), verb.name.data(), message.c_str());
    return kExitFailure;
}

bool wants_help(const Args& args)
{
    for (const auto arg : args)
        if (arg == "--help" || arg == "-h")
            return true;
    return false;
}

std::optional<ReaderDir> open_reader(const Verb& verb, std::string_view dir)
{
    std::string error;
    auto reader = ReaderDir::open(absolute_path(dir), error);
    if (!reader)
        failure(verb, error + "; create one with 'vreader init DIR'");
    return reader;
}

std::optional<RawArea> named_area(const Verb& verb, const ReaderDir& reader, std::string_view words)
{
    std::vector<RawArea> areas;
    std::size_t file_size = 0;
    if (const int e = read_areas(reader, areas, nullptr, &file_size)) {
        failure(verb, "cannot read " + reader.file(kRawdataParamFile) + ": " + std::strerror(e));
        return std::nullopt;
    }
    std::string error;
    const RawArea* area = match_area(areas, words, error);
    if (area == nullptr) {
        failure(verb, error + (file_size > kShownTableBytes ? " (" + table_cut_note(file_size) + ")" : ""));
        return std::nullopt;
    }
    return *area;
}

std::string table_cut_note(std::size_t file_size)
{
    return "the table's file is " + std::to_string(file_size) + " bytes, and the kernel shows only its first " +
           std::to_string(kShownTableBytes) + ", as programs read it";
}

bool parse_size(std::string_view text, std::uint32_t& width, std::uint32_t& height)
{
    const auto x = text.find('x');
    if (x == std::string_view::npos)
        return false;
    const auto w = parse_unsigned(text.substr(0, x), kMaxPanelSide).value_or(0);
    const auto h = parse_unsigned(text.substr(x + 1), kMaxPanelSide).value_or(0);
    if (w == 0 || h == 0)
        return false;
    width = static_cast<std::uint32_t>(w);
    height = static_cast<std::uint32_t>(h);
    return true;
}

std::optional<std::uint64_t> parse_byte_count(std::string_view text)
{
    static constexpr std::string_view kSuffixes = "KMGT";
    unsigned shift = 0;
    if (!text.empty()) {
        if (const auto at = kSuffixes.find(text.back()); at != std::string_view::npos) {
            shift = 10 * static_cast<unsigned>(at + 1);
            text.remove_suffix(1);
        }
    }
    const auto number = parse_unsigned(text, UINT64_MAX >> shift);
    if (!number)
        return std::nullopt;
    return *number << shift;
}

std::string format_byte_count(std::uint64_t bytes)
{
    static constexpr char kSuffixes[] = "KMGT";
    int suffix = -1;
    while (suffix < 3 && bytes != 0 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++suffix;
    }
    return std::to_string(bytes) + (suffix < 0 ? "" : std::string(1, kSuffixes[suffix]));
}

std::string emmc_node_names(const ReaderConfig& config)
{
    const std::string device = emmc_device(config);
    switch (config.emmc_nodes) {
    case EmmcNodes::Dev:
        return "/dev/" + device;
    case EmmcNodes::Block:
        return "/dev/block/" + device;
    case EmmcNodes::Both:
        break;
    }
    return "/dev/" + device + " and /dev/block/" + device;
}

std::string absolute_path(std::string_view path)
{
    if (!path.empty() && path.front() == '/')
        return std::string(path);
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return std::string(path);
    std::string base(cwd);
    if (path.empty() || path == ".")
        return base;
    return base + (base == "/" ? "" : "/") + std::string(path);
}

}  // namespace vreader::cli
