#include "vreader/launcher/cli.hpp"

#include "vreader/model/key_value.hpp"

#include <unistd.h>

#include <cstdio>

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
