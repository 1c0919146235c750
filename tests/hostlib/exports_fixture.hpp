// The fixture of the export tests: a virtual reader of their own, named
// by VREADER_DIR to the library bound to it, with the host application's
// named mutexes under Windows. Built with FENDRAC_EXPORTS_ON_SCSI_NODES the
// tests run through the library's Linux binding instead: its volumes are
// SCSI disk nodes in a /dev and /sys tree of the fixture's own, SG_IO
// reaches the reader's model, and the named mutexes are lock files.
#pragma once

#include "hostlib/include/fendrac.h"
#if defined(FENDRAC_EXPORTS_ON_SCSI_NODES)
#include "hostlib/os/linux_paths.hpp"
#endif
#include "vreader/model/usb/usb_content.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#if defined(_WIN32)
#include "tests/hostlib/windows/host_application.hpp"

#include <process.h>

#include <atomic>
#include <memory>
#include <thread>
#else
#include <unistd.h>
#endif

namespace exports_fixture {

namespace fs = std::filesystem;
using vreader::UsbContent;

#if defined(FENDRAC_EXPORTS_ON_SCSI_NODES)
// The reader's volumes as SCSI disks: built-in storage, SD card, memory stick.
inline const char* const kNodes[][2] = {{"sdb", "E"}, {"sdc", "F"}, {"sdd", "G"}};
#endif

#if defined(_WIN32)
// A fault ends the run with a failing status: left to Wine's debugger, the
// program ends with 0 as if the suite had passed.
inline LONG WINAPI end_the_run(EXCEPTION_POINTERS*)
{
    static const char kText[] = "unhandled exception: the suite is ended\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}
#endif

class Exports : public ::testing::Test {
protected:
    // A second process of the load test works on the first one's reader,
    // named by FENDRAC_LOAD_SHARED_DIR, and leaves it as it is.
    static const char* shared_dir() { return std::getenv("FENDRAC_LOAD_SHARED_DIR"); }

    static void SetUpTestSuite()
    {
#if defined(_WIN32)
        const int process = _getpid();
#else
        const int process = getpid();
#endif
        if (shared_dir() != nullptr) {
            dir_ = shared_dir();
        } else {
            dir_ = fs::temp_directory_path() / ("fendrac-exports-" + std::to_string(process));
            fs::create_directories(dir_);
            std::ofstream(dir_ / "reader.conf").put('\n');
        }
#if defined(_WIN32)
        SetUnhandledExceptionFilter(end_the_run);
        _putenv_s("VREADER_DIR", dir_.string().c_str());
        for (const char* name : {FENDRAC_MUTEX_STATE1, FENDRAC_MUTEX_STATE2, FENDRAC_MUTEX_STATE3})
            mutexes_.push_back(std::make_unique<host_application::NamedMutex>(name));
#else
        setenv("VREADER_DIR", dir_.c_str(), 1);
#endif
#if defined(FENDRAC_EXPORTS_ON_SCSI_NODES)
        // Each node file holds its volume's drive letter for the model's SG_IO.
        for (const auto& [disk, letter] : kNodes) {
            fs::create_directories(dir_ / "sys" / "block" / disk);
            fs::create_directories(dir_ / "dev");
            std::ofstream(dir_ / "dev" / disk) << letter;
        }
        std::ofstream(dir_ / "mounts").flush();
        hostos::linux_paths::roots() = {(dir_ / "sys").string(), (dir_ / "mounts").string(), (dir_ / "dev").string()};
        setenv("FENDRAC_LOCK_DIR", dir_.c_str(), 1);
        ASSERT_EQ(MSC_CreateMutexes(), 1);
#endif
    }
    // The reader's built-in storage as the library opens it.
    static const wchar_t* built_in()
    {
#if defined(FENDRAC_EXPORTS_ON_SCSI_NODES)
        static const std::wstring node = (dir_ / "dev" / "sdb").wstring();
        return node.c_str();
#else
        return L"\\\\.\\E:";
#endif
    }

    static void TearDownTestSuite()
    {
#if defined(_WIN32)
        mutexes_.clear();
#endif
        std::error_code ignored;
        if (shared_dir() == nullptr)
            fs::remove_all(dir_, ignored);
    }

    void SetUp() override
    {
        if (shared_dir() != nullptr)
            return;
        ASSERT_EQ(vreader::save_usb(usb_file(), UsbContent{}), 0);
        faults("");
    }
    void TearDown() override
    {
        while (MSC_canConnect())
            MSC_CloseDrive();
    }

    static std::string usb_file() { return (dir_ / "usb.conf").string(); }
    static UsbContent usb()
    {
        UsbContent content;
        std::string error;
        EXPECT_TRUE(vreader::load_usb(usb_file(), content, error)) << error;
        return content;
    }
    static void edit(const std::function<void(UsbContent&)>& change)
    {
        UsbContent content = usb();
        change(content);
        ASSERT_EQ(vreader::save_usb(usb_file(), content), 0);
    }
    static void faults(const std::string& lines) { std::ofstream(dir_ / "faults") << lines; }

    inline static fs::path dir_;
#if defined(_WIN32)
    inline static std::vector<std::unique_ptr<host_application::NamedMutex>> mutexes_;
#endif
};

}  // namespace exports_fixture
