// The tool's commands: each checks its arguments, opens the drive through
// the session and makes its library calls.
#pragma once

#include "hosttool/session.hpp"

#include <string>
#include <vector>

namespace tool {

using Words = std::vector<std::string>;

struct Command {
    const char* name;       // "file get"
    const char* arguments;  // "REMOTE [LOCAL]"
    int least, most;        // how many arguments
    const char* summary;    // its line in the overview
    const char* help;       // more, for its own --help
    int (*run)(Session& session, const Words& arguments);
};

int run_list(Session& session, const Words& arguments);
int run_info(Session& session, const Words& arguments);
int run_time_set(Session& session, const Words& arguments);
int run_unlock(Session& session, const Words& arguments);
int run_notify(Session& session, const Words& arguments);
int run_update_mode(Session& session, const Words& arguments);
int run_eject(Session& session, const Words& arguments);
int run_file_size(Session& session, const Words& arguments);
int run_file_get(Session& session, const Words& arguments);
int run_file_put(Session& session, const Words& arguments);
int run_file_rm(Session& session, const Words& arguments);
int run_partition_create(Session& session, const Words& arguments);
int run_partition_create_image(Session& session, const Words& arguments);
int run_partition_size(Session& session, const Words& arguments);
int run_partition_rm(Session& session, const Words& arguments);
int run_tunnel_get(Session& session, const Words& arguments);
int run_tunnel_put(Session& session, const Words& arguments);

// Bad arguments: the message and where help is, status 64.
int bad_arguments(Session& session, const std::string& message);
// A word of the command line of `size` bytes where the reader takes
// `least` to `most`: "WHAT has LEAST to MOST bytes, not SIZE" (or "at
// most MOST" when `least` is 0), status 64.
int bad_length(Session& session, const char* what, std::size_t least, std::size_t most, std::size_t size);

}  // namespace tool
