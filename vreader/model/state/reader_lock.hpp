// Exclusive lock on a reader's state across processes (flock on its lock
// file; on Windows a lock on its first byte), held for the object's
// lifetime. Every request takes it, the PC library's exchanges too.
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
    void* handle_ = nullptr;  // Windows
    int error_ = 0;
};

}  // namespace vreader
