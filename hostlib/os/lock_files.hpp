// The named mutexes as lock files (`lock_file_mutexes.cpp`): "Global\NAME"
// is NAME.lock in the lock directory, held with flock, so that the mutexes
// are machine-wide as on Windows. Each binding that takes them says where
// the directory is.
//
// A lock file is used only when it is a plain file with one link that
// every user can read: a symbolic link, a hard link, a FIFO, a directory or
// a file some users cannot open counts as no mutex at all, so that a file
// another user planted can neither redirect the library's file operations
// nor have it wait on something that is not the lock. The library makes a
// missing file with O_EXCL (never through a link) and makes it readable by
// everyone whatever the umask.
#pragma once

#include <string>

namespace hostos::lock_files {

// The folder of the lock files; empty when there is none.
std::string directory();

// Whether `path` is a folder that every user of the machine shares and
// none can take over: a root-owned directory with the sticky bit that
// everyone may write to and enter, as /run/lock and /tmp are. In it a file
// can be removed or replaced only by its owner (or root).
bool shared_by_all_users(const char* path);

}  // namespace hostos::lock_files
