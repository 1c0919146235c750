// Load on the library: threads (and, on Windows, a second process) running a
// mix of commands on one virtual reader at once, as applications do, with
// the machine-wide mutexes in place. Every command must succeed, and the
// reader must see each command's exchanges whole and in order: none
// abandoned, none refused. FENDRAC_LOAD_COMMANDS sets the commands of each
// thread (a long run: 1250, for 10,000 in all).
#include "tests/hostlib/exports_fixture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace exports_fixture;

int commands_per_thread()
{
    const char* text = std::getenv("FENDRAC_LOAD_COMMANDS");
    return text != nullptr ? std::atoi(text) : 40;
}

struct Tally {
    std::atomic<int> done{0};
    std::atomic<int> failed{0};
    std::mutex lock;
    std::string first_failure;

    void fail(const std::string& what)
    {
        ++failed;
        std::lock_guard held(lock);
        if (first_failure.empty())
            first_failure = what;
    }
};

// One thread's share: information, clock, a file written and read back,
// and a partition's size, in turns.
void run_mix(const std::string& name, int count, Tally& tally)
{
    std::vector<unsigned char> data(5000), back(5000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i + name.size() * 7);
    const std::string path = "/load/" + name + ".bin";
    unsigned char clock[28] = {0xEA, 0x07};
    char info[64];
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        switch (i % 5) {
        case 0:
            ok = MSC_GetInfo("model", info, sizeof info) == 6;
            break;
        case 1:
            ok = MSC_ebookUsb_setTime(clock) == 0;
            break;
        case 2:
            ok = MSC_UsbFile_Write(path.c_str(), data.data(), 0, static_cast<int>(data.size())) == 0;
            break;
        case 3:
            std::fill(back.begin(), back.end(), 0);
            ok = MSC_UsbFile_Read(path.c_str(), back.data(), 0, static_cast<int>(back.size()), 0) == 0 && back == data;
            break;
        default: {
            unsigned first = 0, second = 0, bytes = 0;
            ok = MSC_GetPartitionSize("load", &first, &second, &bytes) == 0 && first == 11 && second == 22;
        }
        }
        ++tally.done;
        if (!ok)
            tally.fail(name + " command " + std::to_string(i));
    }
}

void run_threads(const std::string& process, int threads, Tally& tally)
{
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back(run_mix, process + "-t" + std::to_string(t), commands_per_thread(), std::ref(tally));
    for (std::thread& thread : running)
        thread.join();
}

// The exchanges the reader's journal shows, and those it abandoned or refused.
struct Exchanges {
    int seen = 0;
    int broken = 0;
};
Exchanges journaled_exchanges(const fs::path& dir)
{
    std::ifstream journal(dir / "journal.jsonl");
    Exchanges exchanges;
    for (std::string line; std::getline(journal, line);) {
        if (line.find("\"request\":\"scsi\"") == std::string::npos)
            continue;
        ++exchanges.seen;
        if (line.find("\"abandoned\"") != std::string::npos || line.find("\"error\"") != std::string::npos)
            ++exchanges.broken;
    }
    return exchanges;
}

class LoadExports : public Exports {};

#if defined(_WIN32)
// The second process: its share of the load on the first one's reader.
TEST_F(LoadExports, SecondProcessShare)
{
    if (shared_dir() == nullptr)
        GTEST_SKIP() << "run by the load test as its second process";
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    Tally tally;
    run_threads("p2", 4, tally);
    MSC_CloseDrive();
    EXPECT_EQ(tally.failed, 0) << tally.first_failure;
}

// Starts this program again as the second process; its exit status.
HANDLE start_second_process(const fs::path& dir)
{
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string command = "\"" + std::string(program) + "\" --gtest_filter=LoadExports.SecondProcessShare";
    _putenv_s("FENDRAC_LOAD_SHARED_DIR", dir.string().c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    _putenv_s("FENDRAC_LOAD_SHARED_DIR", "");
    if (!started)
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}
#endif

TEST_F(LoadExports, ThreadsAndProcessesRunCommandsWhole)
{
    if (shared_dir() != nullptr)
        GTEST_SKIP();
#if !defined(_WIN32)
    ASSERT_EQ(MSC_CreateMutexes(), 1);
#endif
    std::ofstream(dir_ / "journal.jsonl", std::ios::trunc).flush();
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    ASSERT_EQ(MSC_ReqChangeMode(1), 0);
    ASSERT_EQ(MSC_ReqCreatePartition("load", 11, 22, 33), 0);

    Tally tally;
#if defined(_WIN32)
    const HANDLE second = start_second_process(dir_);
    ASSERT_NE(second, nullptr);
    run_threads("p1", 4, tally);
    ASSERT_EQ(WaitForSingleObject(second, 600000), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(second, &status);
    CloseHandle(second);
    EXPECT_EQ(status, 0u) << "the second process's share failed";
#else
    run_threads("p1", 8, tally);
#endif
    EXPECT_EQ(tally.failed, 0) << tally.first_failure;
    EXPECT_GT(tally.done, 0);
    EXPECT_EQ(MSC_ReqDeletePartition("load"), 0);
    EXPECT_EQ(MSC_ReqChangeMode(0), 0);
    MSC_CloseDrive();
    const Exchanges exchanges = journaled_exchanges(dir_);
    EXPECT_GT(exchanges.seen, 2 * tally.done);
    EXPECT_EQ(exchanges.broken, 0);
}

}  // namespace
