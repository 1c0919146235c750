// Runs a program as a child process and captures what it printed and its
// exit status. Target binaries of a cross build run through the emulator
// the build names.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or 128 + signal
};

// `environment` entries are added to (or replace entries of) the caller's
// environment. `input` is written to the child's standard input.
ProcessResult run_process(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& environment = {}, const std::string& input = {});

// The emulator prefix for target binaries ("" natively), from the build.
std::vector<std::string> emulator_prefix();

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
std::vector<std::string> split_lines(const std::string& text);

}  // namespace testing_support
