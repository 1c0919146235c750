#pragma once

namespace tool {

// Runs the command line and returns the exit status.
int run_command_line(int argc, char** argv);

}  // namespace tool
