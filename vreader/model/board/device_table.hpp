// The devices of a virtual reader, in one table.
#pragma once

namespace vreader {

// Makes the devices known to what every process shares (the request names
// they add to the faults file). Call before a process reads a faults file;
// calling again does nothing.
void use_device_table();

}  // namespace vreader
