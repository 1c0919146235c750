// The library's CPU cost of one 4096-byte exchange (the record set up, the
// command block, the two copies of the record around the driver call, the
// result checks and the data handed over), with a driver that answers at
// once; against two memcpy of the 4176-byte record.
#include "hostlib/pass_through.hpp"
#include "hostlib/usb_command.hpp"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void OneExchange(benchmark::State& state)
{
    fendrac::CUSBCommand command;
    command.command_code = 129;
    command.device_handle = reinterpret_cast<hostos::Handle>(0x100);
    std::vector<std::uint8_t> destination(fendrac::kDataCapacity);
    const bool data_in = state.range(0) != 0;
    for (auto _ : state) {
        std::uint32_t received = 0;
        const std::int32_t missing =
            data_in ? fendrac::ReceivePhase(command, destination.data(), fendrac::kDataCapacity, &received,
                                            fendrac::kPhaseContinuing)
                    : fendrac::SendPhase(command, destination.data(), fendrac::kDataCapacity, fendrac::kPhaseContinuing);
        benchmark::DoNotOptimize(missing);
        benchmark::DoNotOptimize(destination.data());
    }
}

void TwoCopiesOfTheRecord(benchmark::State& state)
{
    std::vector<std::uint8_t> record(fendrac::kRecordSize, 1), reply(fendrac::kRecordSize);
    for (auto _ : state) {
        std::memcpy(reply.data(), record.data(), record.size());
        std::memcpy(record.data(), reply.data(), reply.size());
        benchmark::DoNotOptimize(record.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(OneExchange)->ArgName("in")->Arg(1)->Arg(0);
BENCHMARK(TwoCopiesOfTheRecord);
BENCHMARK_MAIN();
