// The command line: the options that hold for every command, the
// command's own options, and the words that remain.
#pragma once

#include <string>
#include <vector>

namespace tool {

struct Arguments {
    std::string device;  // --device: a drive letter or a device node; empty for the one reader found
    bool json = false;
    bool lock = false;
    bool help = false;
    bool version = false;  // --version
    std::string tag;       // --tag of "partition create-image"
    bool has_tag = false;
    std::string extra;               // --extra of "partition create-image"
    std::vector<std::string> words;  // the command, its subcommand and its arguments
    std::string error;               // set when the line is malformed
};

// Options may stand anywhere; "--" ends them. A lone "-" (standard input or
// output) and a negative number are words, not options.
Arguments parse_arguments(int argc, char** argv);

}  // namespace tool

namespace tool {

// Numbers of the command line: decimal, or hexadecimal after "0x".
bool parse_u32(const std::string& text, unsigned& value);
bool parse_i32(const std::string& text, int& value);

}  // namespace tool
