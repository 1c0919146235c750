#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace testing_support {
namespace {

ProcessResult run_target(std::vector<std::string> arguments, const std::string& input = {})
{
    std::vector<std::string> command = emulator_prefix();
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run_process(command, {{"VREADER_EMULATOR", READER_TEST_EMULATOR}}, input);
}

}  // namespace

VirtualReader::VirtualReader(const std::vector<std::string>& init_options, int panel_width, int panel_height)
    : path_(dir_.file("reader")), panel_width_(panel_width), panel_height_(panel_height)
{
    std::vector<std::string> arguments{"init", path_};
    arguments.insert(arguments.end(), init_options.begin(), init_options.end());
    const ProcessResult result = vreader(arguments);
    if (result.status != 0)
        throw std::runtime_error("vreader init failed: " + result.err);
}

ProcessResult VirtualReader::vreader(const std::vector<std::string>& arguments) const
{
    std::vector<std::string> command{VREADER_EXECUTABLE};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run_target(command);
}

ProcessResult VirtualReader::run(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::string& input) const
{
    std::vector<std::string> command{VREADER_EXECUTABLE, "run", path_, program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run_target(command, input);
}

ProcessResult VirtualReader::run_limited(const std::string& program, const std::vector<std::string>& arguments,
                                         unsigned long kib) const
{
    return run_after("ulimit -v " + std::to_string(kib), program, arguments);
}

ProcessResult VirtualReader::run_after(const std::string& setup, const std::string& program,
                                       const std::vector<std::string>& arguments) const
{
    std::vector<std::string> command{"/bin/sh", "-c", setup + " && exec \"$@\"", "sh"};
    for (const std::string& word : emulator_prefix())
        command.push_back(word);
    for (const std::string& word : {std::string(VREADER_EXECUTABLE), std::string("run"), path_, program})
        command.push_back(word);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run_process(command, {{"VREADER_EMULATOR", READER_TEST_EMULATOR}});
}

std::unique_ptr<Spawned> VirtualReader::start(const std::string& program, const std::vector<std::string>& arguments,
                                              const std::string& output) const
{
    std::vector<std::string> command = emulator_prefix();
    for (const std::string& word : {std::string(VREADER_EXECUTABLE), std::string("run"), path_, program})
        command.push_back(word);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return std::make_unique<Spawned>(command, std::map<std::string, std::string>{{"VREADER_EMULATOR", READER_TEST_EMULATOR}},
                                     dir_.file(output));
}

bool VirtualReader::memory_limits_work()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    return emulator_prefix().empty();
#endif
}

std::string VirtualReader::area(const std::string& name, size_t length) const
{
    const std::string file = dir_.file("area.bin");
    const ProcessResult result = vreader({"dump", path_, name, "--length", std::to_string(length), "--raw", file});
    EXPECT_EQ(result.status, 0) << result.err;
    return read_file(file);
}

void VirtualReader::put(const std::string& name, const std::string& bytes) const
{
    const std::string file = dir_.file("put.bin");
    write_file(file, bytes);
    const ProcessResult result = vreader({"put", path_, name, file});
    EXPECT_EQ(result.status, 0) << result.err;
}

std::string VirtualReader::state(const std::string& key) const
{
    for (const std::string& line : split_lines(vreader({"state", path_}).out))
        if (line.starts_with(key + "="))
            return line.substr(key.size() + 1);
    return "(no " + key + ")";
}

void VirtualReader::write_table(const std::string& text) const
{
    write_file(path_ + "/sys/module/rawdatatable/parameters/rawdata_param", text);
}

void VirtualReader::write_dev_no(const std::string& text) const
{
    write_file(path_ + "/sys/module/rawdatatable/parameters/mmc_dev_no", text);
}

std::vector<JsonLine> VirtualReader::journal() const { return parse_journal(read_file(path_ + "/journal.jsonl")); }

std::vector<JsonLine> VirtualReader::requests(const std::string& name) const
{
    std::vector<JsonLine> found;
    for (const JsonLine& line : journal())
        if (line.text("request") == name)
            found.push_back(line);
    return found;
}

void VirtualReader::clear_journal() const { EXPECT_EQ(vreader({"journal", path_, "--clear"}).status, 0); }

void VirtualReader::fail(const std::string& request, const std::string& error, const std::string& count) const
{
    const ProcessResult result = vreader({"fail", path_, request, error, count});
    ASSERT_EQ(result.status, 0) << result.err;
}

std::string VirtualReader::panel_image() const { return read_file(path_ + "/panel.gray"); }

uint8_t VirtualReader::panel(int x, int y) const
{
    const std::string image = panel_image();
    const size_t at = static_cast<size_t>(y) * panel_width_ + x;
    if (x < 0 || y < 0 || x >= panel_width_ || y >= panel_height_ || at >= image.size())
        throw std::out_of_range("panel pixel");
    return static_cast<uint8_t>(image[at]);
}

}  // namespace testing_support
