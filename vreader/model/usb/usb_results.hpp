// The reader's own status and result codes for the file, update-partition
// and tunnel commands, as the PC library hands them to its caller: a path
// refused is one that is not a name under storage/, an I/O failure one of
// the reader's storage.
#pragma once

#include "protocol/vendor_results.hpp"

namespace vreader::usb {

using protocol::vendor::kLocked;

using protocol::vendor::kBadPosition;
using protocol::vendor::kFileTooLarge;
using protocol::vendor::kIoFailure;
using protocol::vendor::kNoSuchFile;
using protocol::vendor::kNotAFile;
using protocol::vendor::kPathRefused;

using protocol::vendor::kBadMode;
using protocol::vendor::kBadName;
using protocol::vendor::kImageIncomplete;
using protocol::vendor::kNoSuchPartition;
using protocol::vendor::kNotInUpdateMode;
using protocol::vendor::kPartitionExists;

}  // namespace vreader::usb
