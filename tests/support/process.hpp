// Runs a program as a child process and captures what it printed and its
// exit status. Target binaries of a cross build run through the emulator
// the build names.
#pragma once

#include <functional>
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

// A program left running while the test works with it, its output (both
// streams) going to a file and its standard input a pipe the test holds. It
// is stopped (its input ended, then SIGTERM, then SIGKILL) when the object
// dies.
class Spawned {
public:
    Spawned(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
            std::string output_path);
    ~Spawned();
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

    // Waits at most `seconds` for the program to end: its exit status (or
    // 128 + signal), or -1 while it still runs.
    int wait(double seconds);
    std::string output() const;
    int pid() const { return pid_; }
    // Writes to the program's standard input.
    void type(const std::string& text) const;

private:
    int pid_ = -1;
    int input_ = -1;
    std::string output_path_;
    int status_ = -1;
};

// Asks `condition` every 10 ms for at most `seconds`; whether it held.
bool eventually(const std::function<bool()>& condition, double seconds);

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
