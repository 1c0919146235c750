#include "vreader/model/devices/input/input_row.hpp"

#include "vreader/model/devices/input/input_device.hpp"
#include "vreader/model/state/key_value.hpp"

namespace vreader {
namespace {

void input_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kInputMajor, kInputMinorBase); }

std::int64_t open_input(ReaderContext& context, const std::string& path, int flags, int fd,
                        std::unique_ptr<DeviceFile>& out)
{
    const auto number = static_cast<unsigned>(input_device_number(context.dir.config(), path));
    return InputFile::open(context, path, number, flags, fd, out);
}

constexpr DeviceNode kInputNode{input_stat, open_input};

const DeviceNode* find_input_node(const ReaderConfig& config, std::string_view path)
{
    if (path == "/dev/input")
        return &kDirectoryNode;
    return input_device_number(config, path) >= 0 ? &kInputNode : nullptr;
}

// "event0" (the HOME key) to "eventN" (the touch devices).
bool is_input_device(const ReaderConfig& config, std::string_view device)
{
    if (!device.starts_with("event"))
        return false;
    const auto number = parse_unsigned(device.substr(5), config.touch_devices);
    return number.has_value() && device.size() > 5 && std::to_string(*number) == device.substr(5);
}

std::string input_devices(const ReaderConfig& config)
{
    return "event0 to event" + std::to_string(config.touch_devices);
}

// A short read takes half the records asked for.
constexpr FaultTake kInputTakes[] = {{"open", kErrnoEffect}, {"read", kReadEffects}, {"close", kErrnoEffect}};
constexpr FaultScope kInputScopes[] = {
    {.name = "eventN", .takes = kInputTakes, .is = is_input_device, .shown = input_devices},
};

}  // namespace

const DeviceRow kInputRow = {
    .name = "input",
    .find_node = find_input_node,
    .fault_scopes = kInputScopes,
    .create = create_input_pipes,
};

}  // namespace vreader
