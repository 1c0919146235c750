#include "vreader/model/devices/gadget/shell_commands.hpp"

#include "vreader/model/core/device_request.hpp"
#include "vreader/model/state/gadget_content.hpp"

#include <algorithm>
#include <sstream>

namespace vreader {
namespace {

constexpr int kNotFound = 127;

// modprobe takes "-" and "_" in module names alike.
std::string module_key(std::string name)
{
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

int run_one(const std::vector<std::string>& words, std::vector<std::string>& modules)
{
    if (words.empty())
        return 0;
    const bool remove = words.size() == 3 && words[1] == "-r";
    if (words[0] != "modprobe" || !(words.size() == 2 || remove) || words.back().starts_with("-"))
        return kNotFound;
    const std::string& name = words.back();
    const auto loaded = std::find_if(modules.begin(), modules.end(),
                                     [&](const std::string& m) { return module_key(m) == module_key(name); });
    if (remove && loaded != modules.end())
        modules.erase(loaded);
    else if (!remove && loaded == modules.end())
        modules.push_back(name);
    return 0;
}

}  // namespace

int apply_shell_commands(std::string_view command, std::vector<std::string>& modules)
{
    int status = 0;
    std::string piece;
    const auto finish = [&] {
        std::istringstream in(piece);
        std::vector<std::string> words;
        for (std::string word; in >> word;)
            words.push_back(word);
        if (!words.empty())
            status = run_one(words, modules);
        piece.clear();
    };
    for (const char c : command) {
        if (c == ';' || c == '\n')
            finish();
        else
            piece += c;
    }
    finish();
    return status;
}

std::int64_t run_shell_command(ReaderContext& context, const std::string& command)
{
    DeviceRequest shell(context, {}, "system");
    shell.line().add("command", command);
    if (const auto ended = shell.start(FaultEnds::Any))
        return *ended;
    if (const int e = shell.lock_reader())
        return shell.finish(-e);
    GadgetContent gadget;
    std::string why;
    if (!load_gadget(context.dir.path(), gadget, why))
        return shell.finish(-EIO);
    const int status = apply_shell_commands(command, gadget.modules);
    if (const int e = save_gadget(context.dir.path(), gadget))
        return shell.finish(-e);
    std::string modules;
    for (const auto& module : gadget.modules)
        modules += (modules.empty() ? "" : " ") + module;
    shell.line().add("status", status).add("modules", modules);
    return shell.finish(std::int64_t{status} << 8);
}

}  // namespace vreader
