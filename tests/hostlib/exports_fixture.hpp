// The fixture of the export tests: a virtual reader of their own, named
// by VREADER_DIR to the library bound to it, with the host application's
// named mutexes under Windows.
#pragma once

#include "hostlib/include/fendrac.h"
#include "vreader/model/usb_content.hpp"

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

constexpr const wchar_t* kBuiltIn = L"\\\\.\\E:";

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
        _putenv_s("VREADER_DIR", dir_.string().c_str());
        for (const char* name : {"Global\\ZEPA_EBOOK_QLX_STATE1", "Global\\ZEPA_EBOOK_QLX_STATE2",
                                 "Global\\ZEPA_EBOOK_QLX_STATE3"})
            mutexes_.push_back(std::make_unique<host_application::NamedMutex>(name));
#else
        setenv("VREADER_DIR", dir_.c_str(), 1);
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
