// Where the Linux binding finds the kernel's views of the machine: sysfs,
// the mount table and the device nodes. Tests point them at trees of
// their own.
#pragma once

#include <string>

namespace hostos::linux_paths {

struct Roots {
    std::string sys = "/sys";
    std::string mounts = "/proc/self/mounts";
    std::string dev = "/dev";
};

Roots& roots();

}  // namespace hostos::linux_paths
