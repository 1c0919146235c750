#include "vreader/model/usb/usb_storage.hpp"

#include "vreader/model/state/errno_names.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/journal.hpp"
#include "vreader/model/state/reader_lock.hpp"
#include "vreader/model/state/state_files.hpp"
#include "vreader/model/usb/pc_device_tree.hpp"
#include "vreader/model/usb/scsi_inquiry.hpp"
#include "vreader/model/usb/scsi_removal.hpp"
#include "vreader/model/usb/scsi_sense.hpp"
#include "vreader/model/usb/usb_commands.hpp"
#include "vreader/model/usb/usb_content.hpp"
#include "vreader/model/usb/usb_faults.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

namespace vreader {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes of a request's or reply's data that the journal shows.
constexpr std::size_t kJournaledBytes = 16;

// The directory without trailing separators, so that "/" joins a file name
// to it on either system ("Z:\reader\" and "/tmp/reader/" alike).
std::string without_trailing_separators(std::string dir)
{
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\') && !(dir.size() == 3 && dir[1] == ':'))
        dir.pop_back();
    return dir;
}

char upper(char letter) { return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter; }

ScsiReply failed_call(std::uint32_t error)
{
    ScsiReply reply;
    reply.call = ScsiReply::Call::Fails;
    reply.error = error;
    return reply;
}

ScsiReply check_condition(const scsi::Sense& sense)
{
    ScsiReply reply;
    reply.status = scsi::kCheckCondition;
    reply.sense = scsi::fixed_sense(sense);
    return reply;
}

// The journal's head of an exchange: where it goes, what it is, its data-out.
void describe(JsonLine& line, char letter, const ScsiRequest& request, const Bytes& offered)
{
    line.add("device", usb::kUsbDevice).add("volume", std::string(1, letter));
    const std::uint8_t operation = request.cdb[0];
    if (operation == scsi::kInquiry) {
        line.add("command", "inquiry").add("allocation", request.cdb[4]);
    } else if (operation == usb::kVendorOperation) {
        const std::string_view name = usb::command_name(request.cdb[2]);
        line.add("command", name.empty() ? "unknown" : name).add("code", request.cdb[2]).add("phase", request.cdb[4]);
    } else if (operation == scsi::kStartStopUnit) {
        line.add("command", "start_stop_unit");
    } else if (operation == scsi::kPreventAllowMediumRemoval) {
        line.add("command", "prevent_allow_medium_removal");
    } else {
        line.add("command", "operation").add("operation", operation);
    }
    line.add("direction", request.data_in ? "in" : "out").add("length", request.transfer_length);
    if (!request.data_in)
        line.add("data", format_hex(offered.data(), offered.size(), kJournaledBytes));
}

// What a fault that the reader never sees makes of the call.
ScsiReply injected(const FaultHit& fault)
{
    switch (fault.kind) {
    case FaultKind::Check:
        return check_condition(scsi::kDataPhaseError);
    case FaultKind::Empty: {
        ScsiReply reply;
        reply.call = ScsiReply::Call::NothingReturned;
        return reply;
    }
    case FaultKind::Silent:
        return failed_call(usb::kErrorSemTimeout);
    default:
        return failed_call(usb::windows_error(fault.error));
    }
}

std::string fault_name(const FaultHit& hit)
{
    switch (hit.kind) {
    case FaultKind::Check:
        return "check";
    case FaultKind::Empty:
        return "empty";
    case FaultKind::Short:
        return "short";
    case FaultKind::Silent:
        return "silent";
    default:
        return errno_name(hit.error);
    }
}

class ReaderUsb final : public UsbStorage {
public:
    explicit ReaderUsb(std::string dir) : dir_(std::move(dir)), journal_(file(kJournalFile)) {}

    std::optional<int> volume(char letter) override
    {
        try {
            const ReaderLock lock(file(kLockFile));
            UsbContent content;
            std::string why;
            if (!reader_attached(dir_) || !load(content, why) || find_volume(content, letter) == nullptr)
                return std::nullopt;
            return static_cast<int>(upper(letter));
        } catch (...) {
            return std::nullopt;
        }
    }

    ScsiReply exchange(int volume, const ScsiRequest& request) override
    {
        try {
            // One exchange at a time on the reader, whichever process sends it.
            const ReaderLock lock(file(kLockFile));
            return run(volume, request);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vreader: usb: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "vreader: usb: an exchange failed\n");
        }
        return failed_call(usb::kErrorGenFailure);
    }

    std::string file(std::string_view name) const { return dir_ + "/" + std::string(name); }

    bool load(UsbContent& content, std::string& why) const { return load_usb(file(kUsbFile), content, why); }

private:
    // What the reader made of an exchange that reached it.
    struct Handled {
        std::optional<scsi::Sense> refused;  // CHECK CONDITION with this sense
        std::string error;
        Bytes data_in;
    };

    ScsiReply run(int volume, const ScsiRequest& request);
    // Uses up the fault that hits the exchange on its way, if any.
    FaultHit take_fault(const ScsiRequest& request);
    Handled handle(const ScsiRequest& request, const Bytes& arriving, UsbContent& content, const UsbVolume& volume,
                   JsonLine& line);
    // Journals the exchange; a failed call also with the errno that stands
    // for its cause.
    void record(JsonLine& line, const ScsiReply& reply, const std::string& error, const FaultHit& fault, int cause = 0);

    std::string dir_;
    Journal journal_;
};

void ReaderUsb::record(JsonLine& line, const ScsiReply& reply, const std::string& error, const FaultHit& fault,
                       int cause)
{
    long long result = 0;
    switch (reply.call) {
    case ScsiReply::Call::Done:
        line.add("status", reply.status).add("moved", reply.transfer_length);
        if (!reply.data_in.empty())
            line.add("data_in", format_hex(reply.data_in.data(), reply.data_in.size(), kJournaledBytes));
        result = reply.transfer_length;
        break;
    case ScsiReply::Call::NothingReturned:
        line.add("returned", "nothing");
        break;
    case ScsiReply::Call::Fails:
        line.add("windows_error", reply.error);
        result = -1;
        break;
    }
    if (fault.fired)
        line.add("fault", fault_name(fault));
    if (!error.empty())
        line.add("error", error);
    line.set_result(result, cause, fault.fired);
    if (const int e = journal_.append(line))
        std::fprintf(stderr, "vreader: cannot write the journal: %s\n", std::strerror(e));
}

ScsiReply ReaderUsb::run(int volume, const ScsiRequest& request)
{
    const char letter = volume > 0 && volume < 128 ? static_cast<char>(volume) : '?';
    const Bytes offered =
        request.data_in ? Bytes{}
                        : Bytes(request.data_out.begin(),
                                request.data_out.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                               request.data_out.size(), request.transfer_length)));
    JsonLine line("scsi");
    describe(line, letter, request, offered);

    UsbContent content;
    std::string why;
    if (!load(content, why)) {
        ScsiReply reply = failed_call(usb::kErrorGenFailure);
        record(line, reply, why, {}, EIO);
        return reply;
    }
    const UsbVolume* found = reader_attached(dir_) ? find_volume(content, letter) : nullptr;
    if (found == nullptr) {
        ScsiReply reply = failed_call(usb::kErrorNotReady);
        record(line, reply, "the reader has no volume " + std::string(1, letter), {}, ENXIO);
        return reply;
    }

    const FaultHit fault = take_fault(request);
    if (fault.fired && fault.kind != FaultKind::Short) {
        ScsiReply reply = injected(fault);
        record(line, reply, {}, fault, fault.kind == FaultKind::Error ? fault.error : ETIMEDOUT);
        return reply;
    }
    const bool shortened = fault.fired;
    // A short data-out request reaches the reader with half its bytes.
    const Bytes arriving(offered.begin(), offered.begin() + static_cast<std::ptrdiff_t>(shortened ? offered.size() / 2
                                                                                                  : offered.size()));
    Handled handled = handle(request, arriving, content, *found, line);

    ScsiReply reply;
    if (handled.refused) {
        reply = check_condition(*handled.refused);
    } else if (request.data_in) {
        Bytes& data = handled.data_in;
        data.resize(std::min<std::size_t>(data.size(), request.transfer_length));
        // Only half of what the reader sends arrives.
        if (shortened)
            data.resize(data.size() / 2);
        reply.transfer_length = static_cast<std::uint32_t>(data.size());
        reply.data_in = std::move(data);
    } else {
        reply.transfer_length = static_cast<std::uint32_t>(arriving.size());
    }
    record(line, reply, handled.error, fault);
    return reply;
}

FaultHit ReaderUsb::take_fault(const ScsiRequest& request)
{
    std::string text;
    std::vector<Fault> faults;
    std::string why;
    if (read_file(file(kFaultsFile), text) != 0)
        return {};
    if (!parse_faults(text, faults, why)) {
        std::fprintf(stderr, "vreader: ignoring the faults file: %s\n", why.c_str());
        return {};
    }
    const bool vendor = request.cdb[0] == usb::kVendorOperation;
    const bool reply = vendor && usb::is_reply(request.cdb[2], request.cdb[4], request.data_in);
    bool changed = false;
    const FaultHit hit = usb::take_exchange_fault(
        faults, vendor ? std::optional<std::uint8_t>(request.cdb[2]) : std::nullopt, reply, changed);
    if (changed) {
        if (const int e = replace_file(file(kFaultsFile), format_faults(faults)))
            std::fprintf(stderr, "vreader: cannot write the faults file: %s\n", std::strerror(e));
    }
    return hit;
}

ReaderUsb::Handled ReaderUsb::handle(const ScsiRequest& request, const Bytes& arriving, UsbContent& content,
                                     const UsbVolume& volume, JsonLine& line)
{
    const std::uint8_t operation = request.cdb[0];
    if (operation == scsi::kInquiry) {
        scsi::InquiryAnswer answer =
            scsi::inquiry(request.cdb, request.cdb_length, request.data_in, request.transfer_length, content, volume);
        return {answer.refused, std::move(answer.error), std::move(answer.data)};
    }
    if (operation == scsi::kStartStopUnit || operation == scsi::kPreventAllowMediumRemoval) {
        // The volumes are the gadget's LUNs in their order.
        const auto lun = static_cast<std::size_t>(&volume - content.volumes.data());
        scsi::RemovalAnswer answer = scsi::removal(request.cdb, request.cdb_length, lun, dir_, line);
        return {answer.refused, std::move(answer.error), {}};
    }
    if (operation != usb::kVendorOperation)
        return {scsi::kInvalidOperation, "operation " + std::to_string(operation) + " is not modelled", {}};
    usb::VendorAnswer answer = usb::handle(
        {request.cdb, request.cdb_length, request.data_in, request.transfer_length, arriving}, content, dir_, line);
    if (answer.changed) {
        if (const int e = save_usb(file(kUsbFile), content))
            return {scsi::kInternalFailure, "cannot write " + file(kUsbFile) + ": " + std::strerror(e), {}};
    }
    return {answer.refused, std::move(answer.error), std::move(answer.data)};
}

}  // namespace

std::unique_ptr<UsbStorage> UsbStorage::open(const std::string& reader_dir, std::string& error)
{
    try {
        auto usb = std::make_unique<ReaderUsb>(without_trailing_separators(reader_dir));
        if (!file_exists(usb->file(kConfigFile))) {
            error = reader_dir + " is not a virtual reader (it has no " + std::string(kConfigFile) + ")";
            return nullptr;
        }
        // A reader made before its USB side was modelled starts with the defaults.
        if (!file_exists(usb->file(kUsbFile))) {
            if (const int e = save_usb(usb->file(kUsbFile), UsbContent{})) {
                error = "cannot write " + usb->file(kUsbFile) + ": " + std::strerror(e);
                return nullptr;
            }
        }
        UsbContent content;
        if (!usb->load(content, error))
            return nullptr;
        return usb;
    } catch (const std::exception& e) {
        error = std::string("cannot open the reader's USB side: ") + e.what();
    } catch (...) {
        error = "cannot open the reader's USB side";
    }
    return nullptr;
}

}  // namespace vreader
