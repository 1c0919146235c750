#include "hosttool/session.hpp"

#include "fendrac.h"
#include "hosttool/access_hint.hpp"
#include "hosttool/named_mutexes.hpp"
#include "hosttool/pc_io.hpp"

#include <cstdio>

namespace tool {

int status_of_result(long long code)
{
    const long long magnitude = code < 0 ? -code : code;
    return magnitude > 125 ? 125 : static_cast<int>(magnitude);
}

Session::~Session()
{
    if (opened_)
        MSC_CloseDrive();
    set_drive_in_use(false);
    if (locked_)
        MSC_UnlockUSBDLL();
}

int Session::report(int status, const std::string& message, const std::string& code)
{
    close_open_line();
    std::fprintf(stderr, "fendrac: %s\n", message.c_str());
    if (json()) {
        JsonObject error;
        if (!volume_.device.empty())
            error.add("device", volume_.device);
        error.add("error", message).add_json("code", code).add("status", status);
        // Standard output may be what failed: the status stays the failure's.
        std::string unwritten;
        (void)write_output(error.text() + "\n", unwritten);
    }
    return status;
}

int Session::fail(int status, std::string_view message) { return report(status, std::string(message), "null"); }

int Session::failed(std::string_view what, long long code, std::string_view note)
{
    std::string message(what);
    message += ": failed with " + std::to_string(code);
    if (!note.empty())
        message += "; " + std::string(note);
    return report(status_of_result(code), message, std::to_string(code));
}

JsonObject Session::outcome() const
{
    JsonObject object;
    object.add("device", volume_.device);
    return object;
}

int Session::succeed(const JsonObject& object, std::string_view text)
{
    if (json())
        return print(object.text() + "\n");
    return text.empty() ? 0 : print(std::string(text) + "\n");
}

int Session::print(std::string_view text)
{
    std::string error;
    if (write_output(text, error))
        return 0;
    return fail(kLocalUnwritten, "cannot write standard output: " + error);
}

int Session::create_mutexes()
{
    std::string reason;
    if (create_named_mutexes(reason))
        return 0;
    if (arguments_.lock)
        return fail(kSetupError, reason + "; --lock needs them");
    close_open_line();
    std::fprintf(stderr, "fendrac: warning: %s; commands run without exclusion from other applications\n",
                 reason.c_str());
    return 0;
}

int Session::choose_volume()
{
    if (!arguments_.device.empty()) {
        if (!named_volume(arguments_.device, volume_)) {
            return fail(kNoReader, "no volume answers at " + arguments_.device);
        }
        if (!IsEbookProduct(&volume_.identity)) {
            return fail(kNoReader, volume_.device + " is not a reader volume (" + trimmed(volume_.identity.vendor) +
                                       " " + trimmed(volume_.identity.product) + ")");
        }
        return 0;
    }
    // Without --device: the reader, known by its built-in storage; its card
    // slots are volumes of the same reader.
    std::vector<Volume> readers;
    for (const Volume& found : reader_volumes())
        if (is_built_in(found.identity))
            readers.push_back(found);
    if (readers.empty()) {
        return fail(kNoReader, "no reader found");
    }
    if (readers.size() > 1) {
        std::string names;
        for (const Volume& found : readers)
            names += (names.empty() ? "" : ", ") + found.device;
        return fail(kNoReader, "several readers found (" + names + "): choose one with --device");
    }
    volume_ = readers.front();
    return 0;
}

int Session::open()
{
    if (arguments_.lock) {
        // The mutexes exist (create_mutexes): a refusal is another holder.
        if (MSC_LockUSBDLL() == 0)
            return fail(kLockHeld, "the application lock is held by another application");
        locked_ = true;
    }
    if (const int status = choose_volume())
        return status;
    // From here an interrupt lets the library call finish and the drive
    // close; the open itself may wait for the reader for a while.
    set_drive_in_use(true);
    if (MSC_OpenDriveA(volume_.open_path.c_str()) == 0)
        return fail(kNoReader, "the reader at " + volume_.device + " does not open" + access_hint(volume_.open_path));
    opened_ = true;
    if (interrupted())
        return fail(interrupted_status(), "interrupted");
    return 0;
}

}  // namespace tool
