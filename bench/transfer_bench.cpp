// A 64 MiB (or 4 MiB) file written to and read back from the virtual reader through
// the library, against two memcpy of the same bytes: the whole path of a
// large transfer (16384 exchanges each way), the virtual reader's file
// service and journal included.
#include "hostlib/include/fendrac.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Reader {
    fs::path dir = fs::temp_directory_path() / ("bench-reader-" + std::to_string(getpid()));
    Reader()
    {
        fs::create_directories(dir);
        std::ofstream(dir / "reader.conf").put('\n');
        setenv("VREADER_DIR", dir.c_str(), 1);
    }
    ~Reader() { fs::remove_all(dir); }
};

void FileWriteAndRead(benchmark::State& state)
{
    const int kBytes = static_cast<int>(state.range(0)) << 20;
    Reader reader;
    std::vector<std::uint8_t> data(kBytes, 0x5A), back(kBytes);
    if (MSC_OpenDriveW(L"\\\\.\\E:") != 1) {
        state.SkipWithError("the virtual reader's drive did not open");
        return;
    }
    for (auto _ : state) {
        if (MSC_UsbFile_Write("/bench.bin", data.data(), 0, kBytes) != 0 ||
            MSC_UsbFile_Read("/bench.bin", back.data(), 0, kBytes, 0) != 0) {
            state.SkipWithError("a transfer failed");
            break;
        }
        // The journal would grow by two lines an exchange; start afresh.
        state.PauseTiming();
        fs::remove(reader.dir / "journal.jsonl");
        state.ResumeTiming();
    }
    MSC_CloseDrive();
    state.SetBytesProcessed(state.iterations() * 2 * std::int64_t{kBytes});
}

void TwoCopies(benchmark::State& state)
{
    const int kBytes = static_cast<int>(state.range(0)) << 20;
    std::vector<std::uint8_t> data(kBytes, 0x5A), back(kBytes);
    for (auto _ : state) {
        std::memcpy(back.data(), data.data(), kBytes);
        std::memcpy(data.data(), back.data(), kBytes);
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * std::int64_t{kBytes});
}

}  // namespace

// The sizes in MiB: 64, and 4 for a short run.
BENCHMARK(FileWriteAndRead)->Name("FileWriteAndRead64MiB")->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(TwoCopies)->Name("TwoCopiesOf64MiB")->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(FileWriteAndRead)->Name("FileWriteAndRead4MiB")->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(TwoCopies)->Name("TwoCopiesOf4MiB")->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
