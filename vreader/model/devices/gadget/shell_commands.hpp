// The shell commands programs run through system(): none reaches the host's
// shell. The reader understands the module commands of its USB side,
// "modprobe NAME" (loads NAME, if not loaded yet) and "modprobe -r NAME"
// (unloads it, if loaded), several parted by ";" or newlines, and keeps the
// loaded modules in gadget.conf. Any other command is not found (status
// 127). As the shell does, the command's status is that of the last command
// in the list, returned as a wait status (status << 8). Journaled as
// "system" (command, status, the modules after it); the fault "system"
// makes the call itself fail.
#pragma once

#include "vreader/model/core/reader_context.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

// Applies the command list to `modules`; returns the shell's exit status.
int apply_shell_commands(std::string_view command, std::vector<std::string>& modules);

// system(command): the wait status, or -errno.
std::int64_t run_shell_command(ReaderContext& context, const std::string& command);

}  // namespace vreader
