// Exclusive lock on a reader's state across processes (flock on its lock
// file), held for the object's lifetime.
#pragma once

#include <string>

namespace vreader {

class ReaderLock {
public:
    explicit ReaderLock(const std::string& lock_path);
    ~ReaderLock();
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

    int error() const { return error_; }  // 0 when the lock is held

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace vreader
