// A virtual reader in a temporary directory, and the programs run against it
// as processes, the way a user runs them through the launcher.
#pragma once

#include "tests/support/json_line.hpp"
#include "tests/support/process.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class VirtualReader {
public:
    // Creates the reader with `vreader init` and the given options; the panel
    // size must match the --screen option (600x800 when none is given).
    explicit VirtualReader(const std::vector<std::string>& init_options = {}, int panel_width = 600,
                           int panel_height = 800);

    ProcessResult vreader(const std::vector<std::string>& arguments) const;
    // `input` is the program's standard input.
    ProcessResult run(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& input = {}) const;
    // The same with the address space limited to `kib` KiB, so large
    // allocations fail. Only where limits work: natively, without sanitizers.
    ProcessResult run_limited(const std::string& program, const std::vector<std::string>& arguments,
                              unsigned long kib) const;
    static bool memory_limits_work();
    // The same after `setup`, shell commands (a limit, a redirection) run
    // first by the shell that then starts it.
    ProcessResult run_after(const std::string& setup, const std::string& program,
                            const std::vector<std::string>& arguments) const;
    // The program left running; what it prints goes to `output` in the
    // test's temporary directory.
    std::unique_ptr<Spawned> start(const std::string& program, const std::vector<std::string>& arguments,
                                   const std::string& output = "program.out") const;

    std::vector<JsonLine> journal() const;
    // Journal entries of one request name, in order.
    std::vector<JsonLine> requests(const std::string& name) const;
    void clear_journal() const;
    void fail(const std::string& request, const std::string& error, const std::string& count = "1") const;

    // What a person sees on the panel at (x, y) in the panel's own
    // orientation: 0 black .. 255 white.
    uint8_t panel(int x, int y) const;
    // The same as a gray table index: 0 lightest .. 15 black.
    int panel_level(int x, int y) const { return 15 - panel(x, y) / 17; }
    std::string panel_image() const;

    // The eMMC through the launcher: an area's first `length` bytes, a
    // file's bytes into an area, one line of `vreader state`.
    std::string area(const std::string& name, size_t length) const;
    void put(const std::string& name, const std::string& bytes) const;
    std::string state(const std::string& key) const;
    // The raw-data table and the device number file programs read.
    void write_table(const std::string& text) const;
    void write_dev_no(const std::string& text) const;

    const std::string& path() const { return path_; }
    std::string temp_file(const std::string& name) const { return dir_.file(name); }

private:
    TempDir dir_;
    std::string path_;
    int panel_width_;
    int panel_height_;
};

}  // namespace testing_support
