#include "hosttool/session.hpp"

#include "fendrac.h"

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
    if (locked_)
        MSC_UnlockUSBDLL();
}

int Session::fail(int status, std::string_view message)
{
    std::fprintf(stderr, "fendrac: %.*s\n", static_cast<int>(message.size()), message.data());
    if (json()) {
        JsonObject error;
        error.add("error", message).add("status", status);
        std::printf("%s\n", error.text().c_str());
    }
    return status;
}

int Session::failed(std::string_view what, long long code)
{
    const int status = status_of_result(code);
    std::string message(what);
    message += ": failed with " + std::to_string(code);
    std::fprintf(stderr, "fendrac: %s\n", message.c_str());
    if (json()) {
        JsonObject error;
        error.add("error", message).add("code", code).add("status", status);
        std::printf("%s\n", error.text().c_str());
    }
    return status;
}

void Session::succeed(const JsonObject& object, std::string_view text)
{
    if (json())
        std::printf("%s\n", object.text().c_str());
    else if (!text.empty())
        std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stdout);
}

int Session::choose_volume()
{
    if (!arguments_.device.empty()) {
        if (!named_volume(arguments_.device, volume_)) {
            return fail(kNoReader, "no volume answers at " + arguments_.device);
        }
        if (!IsEbookProduct(&volume_.identity)) {
            return fail(kNoReader, volume_.device + ": not a reader volume (" + trimmed(volume_.identity.vendor) +
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
        if (MSC_LockUSBDLL() == 0)
            return fail(kLockHeld, "the application lock is held by another application, or missing");
        locked_ = true;
    }
    if (const int status = choose_volume())
        return status;
    if (MSC_OpenDriveA(volume_.open_path.c_str()) == 0)
        return fail(kNoReader, volume_.device + ": the reader does not open");
    opened_ = true;
    return 0;
}

}  // namespace tool
