// The commands about the reader itself: its volumes, its information, its
// clock, lock, notices and mode, and the eject.
#include "fendrac.h"
#include "hosttool/clock_record.hpp"
#include "hosttool/commands.hpp"
#include "hosttool/reader_answers.hpp"
#include "protocol/vendor_records.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tool {
namespace {

std::string hex(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

JsonObject identity_fields(const Volume& volume)
{
    JsonObject fields;
    fields.add("device", volume.device)
        .add("vendor", trimmed(volume.identity.vendor))
        .add("product", trimmed(volume.identity.product))
        .add("revision", trimmed(volume.identity.revision))
        .add("kind", volume_kind(volume.identity));
    return fields;
}

// A reader's plain result: 0 says what was done, anything else fails.
// `fields` start with the session's outcome().
int plain(Session& session, std::string_view what, int result, const std::string& done, const JsonObject& fields)
{
    if (result != 0)
        return session.failed(what, result);
    return session.succeed(fields, done);
}

}  // namespace

int run_list(Session& session, const Words&)
{
    const std::vector<Volume> volumes = reader_volumes();
    std::string lines, array = "[";
    for (const Volume& volume : volumes) {
        char line[160];
        std::snprintf(line, sizeof line, "%-12s %-8s %-16s %-4s %s", volume.device.c_str(),
                      trimmed(volume.identity.vendor).c_str(), trimmed(volume.identity.product).c_str(),
                      trimmed(volume.identity.revision).c_str(), volume_kind(volume.identity));
        lines += (lines.empty() ? "" : "\n") + std::string(line);
        array += (array.size() > 1 ? "," : "") + identity_fields(volume).text();
    }
    if (volumes.empty() && !session.json())
        std::fprintf(stderr, "fendrac: no reader volume found\n");
    JsonObject object;
    object.add_json("volumes", array + "]");
    return session.succeed(object, lines);
}

int run_info(Session& session, const Words&)
{
    if (const int status = session.open())
        return status;
    char version[8] = {};
    if (const int result = MSC_UsbGetProtocolVer(1, version, sizeof version))
        return session.failed("protocol version", result);
    DeviceProperty property{};
    if (const int result = MSC_UsbGetDevProperty(&property))
        return session.failed("property block", result);
    const std::string device_type(property.device_type, strnlen(property.device_type, sizeof property.device_type));
    const unsigned entries = property.entry_count;
    MSC_UsbFreeDevProperty(&property);
    unsigned char media[8] = {};
    if (const int result = msc_CheckMediaState(media))
        return session.failed("media state", result);
    unsigned char space[8] = {};
    if (const int result = MSC_ebookUsb_GetFreeSpace("", space))
        return session.failed("free space", result);
    std::uint64_t free_bytes = 0;
    for (int i = 7; i >= 0; --i)
        free_bytes = (free_bytes << 8) | space[i];

    const Volume& volume = session.volume();
    const std::string protocol(version, strnlen(version, sizeof version));
    JsonObject object = identity_fields(volume);
    object.add("protocol_version", protocol)
        .add("device_type", device_type)
        .add("property_entries", entries)
        .add("media_state", hex(media, sizeof media))
        .add("free_space", free_bytes);
    char text[512];
    std::snprintf(text, sizeof text,
                  "device        %s\n"
                  "reader        %s %s %s, %s\n"
                  "protocol      %s\n"
                  "device type   %s\n"
                  "properties    %u %s\n"
                  "media state   %s\n"
                  "free space    %llu bytes",
                  volume.device.c_str(), trimmed(volume.identity.vendor).c_str(),
                  trimmed(volume.identity.product).c_str(), trimmed(volume.identity.revision).c_str(),
                  volume_kind(volume.identity), protocol.c_str(), device_type.c_str(), entries,
                  entries == 1 ? "entry" : "entries", hex(media, sizeof media).c_str(),
                  static_cast<unsigned long long>(free_bytes));
    return session.succeed(object, text);
}

int run_time_set(Session& session, const Words& arguments)
{
    ClockTime time;
    const bool now = arguments.empty() || arguments[0] == "now";
    if (!now) {
        const std::optional<ClockTime> given = parse_clock(arguments[0]);
        if (!given)
            return bad_arguments(session, "not a time: " + arguments[0] + " (YYYY-MM-DDTHH:MM:SS)");
        time = *given;
    }
    if (const int status = session.open())
        return status;
    if (now)
        time = local_now();
    const auto record = clock_record(time);
    JsonObject fields = session.outcome();
    fields.add("clock", clock_text(time));
    return plain(session, "time set", MSC_ebookUsb_setTime(record.data()), "clock set to " + clock_text(time), fields);
}

int run_unlock(Session& session, const Words& arguments)
{
    constexpr std::size_t kLongestCode = protocol::vendor::kUnlockCodeSize - 1;  // and its zero
    if (arguments[0].size() > kLongestCode)
        return bad_length(session, "an unlock code", 0, kLongestCode, arguments[0].size());
    if (const int status = session.open())
        return status;
    const int result = MSC_UsbUnlockDevice(arguments[0].c_str());
    if (result == kReaderLocked)
        return session.failed("unlock: the reader stays locked", result);
    return plain(session, "unlock", result, "unlocked", session.outcome());
}

int run_notify(Session& session, const Words& arguments)
{
    const std::string& which = arguments[0];
    if (which != "begin" && which != "end")
        return bad_arguments(session, "notify begin or notify end, not " + which);
    if (const int status = session.open())
        return status;
    JsonObject fields = session.outcome();
    fields.add("notice", which);
    return plain(session, "notify " + which, MSC_ebookUsb_notifyBeginEnd(which == "begin" ? 1 : 0), "notified " + which,
                 fields);
}

int run_update_mode(Session& session, const Words& arguments)
{
    int mode = 0;
    if (!parse_i32(arguments[0], mode))
        return bad_arguments(session, "not a mode: " + arguments[0]);
    if (const int status = session.open())
        return status;
    JsonObject fields = session.outcome();
    fields.add("mode", mode);
    return plain(session, "update mode", MSC_ReqChangeMode(mode), "mode " + std::to_string(mode), fields);
}

int run_eject(Session& session, const Words&)
{
    if (const int status = session.open())
        return status;
    if (MSC_EjectMedia() == 0)
        return session.fail(1, "eject: failed; the reader is connected again");
    JsonObject fields = session.outcome();
    fields.add_bool("ejected", true);
    return session.succeed(fields, "ejected " + session.volume().device);
}

}  // namespace tool
