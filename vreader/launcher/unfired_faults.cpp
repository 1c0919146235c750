#include "vreader/launcher/unfired_faults.hpp"

#include "vreader/model/state/files.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace vreader::cli {
namespace {

// The faults file as it is now; empty when it is missing or unreadable
// (a run reports on faults it can read, and a broken file is the run's
// own complaint).
std::vector<Fault> read_faults(const ReaderDir& reader)
{
    std::string text, why;
    std::vector<Fault> faults;
    if (read_file(reader.file(kFaultsFile), text) != 0 || !parse_faults(text, faults, why))
        faults.clear();
    return faults;
}

bool counted(const Fault& fault) { return fault.at == 0 && !fault.always; }

std::string fault_text(const Fault& fault)
{
    if (fault.at != 0)
        return "at " + std::to_string(fault.at) + " " + effect_name(fault);
    return (fault.device.empty() ? "" : fault.device + ":") + fault.request + " " + effect_name(fault);
}

}  // namespace

PendingFaults pending_faults(const ReaderDir& reader)
{
    PendingFaults pending;
    for (const Fault& fault : read_faults(reader)) {
        if (fault.at != 0)
            pending.at = fault;
        else if (counted(fault))
            pending.counted.push_back(fault);
    }
    if (pending.at)
        ::unlink(reader.file(kAtClaimedFile).c_str());
    return pending;
}

void report_unfired(const ReaderDir& reader, const PendingFaults& pending)
{
    if (pending.empty())
        return;
    const std::vector<Fault> now = read_faults(reader);
    if (pending.at) {
        const std::string at = "'" + fault_text(*pending.at) + "' left unfired: ";
        bool still_set = false;
        for (const Fault& fault : now)
            still_set = still_set || (fault.at == pending.at->at && fault.kind == pending.at->kind &&
                                      fault.error == pending.at->error);
        // The program takes the fault when it first uses the reader, and
        // leaves a note of it until its request N comes.
        if (still_set)
            std::fprintf(stderr, "vreader run: %sthe program made no request; it stays set for the next run\n",
                         at.c_str());
        else if (file_exists(reader.file(kAtClaimedFile)))
            std::fprintf(stderr, "vreader run: %sthe run ended before its request %u\n", at.c_str(),
                         static_cast<unsigned>(pending.at->at));
        ::unlink(reader.file(kAtClaimedFile).c_str());
    }
    for (const Fault& fault : now) {
        if (!counted(fault))
            continue;
        for (const Fault& before : pending.counted) {
            if (before.request != fault.request || before.device != fault.device)
                continue;
            std::string passes;
            if (fault.skip != 0)
                passes = ", after " + std::to_string(fault.skip) + (fault.skip == 1 ? " more pass" : " more passes");
            // A fault set again during the run may have more left than it started with.
            std::string left = std::to_string(fault.remaining);
            if (fault.remaining <= before.remaining)
                left += " of " + std::to_string(before.remaining);
            std::fprintf(stderr, "vreader run: fault '%s' left unfired: %s still to fire%s\n",
                         fault_text(fault).c_str(), left.c_str(), passes.c_str());
        }
    }
}

}  // namespace vreader::cli
