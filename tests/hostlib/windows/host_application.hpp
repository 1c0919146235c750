// What the host application does around the library in the Windows tests:
// it creates the named mutexes, and a second process can hold one.
#pragma once

#include <windows.h>

#include <string>

namespace host_application {

// Creates the named mutex (not owned) for as long as the object lives.
class NamedMutex {
public:
    explicit NamedMutex(const char* name) : handle_(CreateMutexA(nullptr, FALSE, name)) {}
    ~NamedMutex() { CloseHandle(handle_); }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;
    bool created() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

// Another process holding a named mutex until release() or destruction.
class OtherProcess {
public:
    explicit OtherProcess(const char* mutex_name);
    ~OtherProcess() { release(); }
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;

    bool holding() const { return holding_; }
    void release();

private:
    HANDLE ready_ = nullptr;
    HANDLE release_ = nullptr;
    PROCESS_INFORMATION process_{};
    bool holding_ = false;
};

inline OtherProcess::OtherProcess(const char* mutex_name)
{
    const std::string tag = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
    const std::string ready = "fendrac_test_ready_" + tag;
    const std::string release = "fendrac_test_release_" + tag;
    ready_ = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, release.c_str());
    std::string command = "mutex_holder.exe \"" + std::string(mutex_name) + "\" " + ready + " " + release;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
        return;
    const HANDLE either[] = {ready_, process_.hProcess};
    holding_ = WaitForMultipleObjects(2, either, FALSE, 20000) == WAIT_OBJECT_0;
}

inline void OtherProcess::release()
{
    if (process_.hProcess != nullptr) {
        SetEvent(release_);
        WaitForSingleObject(process_.hProcess, 20000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = {};
    }
    if (ready_ != nullptr)
        CloseHandle(ready_);
    if (release_ != nullptr)
        CloseHandle(release_);
    ready_ = release_ = nullptr;
    holding_ = false;
}

}  // namespace host_application
