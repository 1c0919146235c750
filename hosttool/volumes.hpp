// The reader volumes of this PC and the one a command goes to: on Windows
// the drive letters, on Linux the SCSI disks the library lists.
#pragma once

#include "fendrac.h"

#include <string>
#include <vector>

namespace tool {

struct Volume {
    std::string device;     // as the user names it: "E:" or "/dev/sdb"
    std::string open_path;  // as the library opens it: "\\.\E:" or "/dev/sdb"
    VolumeIdentity identity{};
};

// Every volume of a supported reader: built-in storage and card slots.
std::vector<Volume> reader_volumes();

// The volume a --device value names ("E", "e:", "\\.\E:" on Windows; a
// node on Linux), identified by INQUIRY; false when it does not answer.
bool named_volume(const std::string& device, Volume& volume);

// "built-in storage", "SD card", "memory stick" or "other volume".
const char* volume_kind(const VolumeIdentity& identity);
bool is_built_in(const VolumeIdentity& identity);

// A space-padded INQUIRY field without its padding.
std::string trimmed(const char* field);

}  // namespace tool
