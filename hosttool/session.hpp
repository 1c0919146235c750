// One run of the tool: how it reports (text or --json), and the reader
// drive it opens for a command, closed again when the run ends.
#pragma once

#include "hosttool/arguments.hpp"
#include "hosttool/interrupts.hpp"
#include "hosttool/json_text.hpp"
#include "hosttool/volumes.hpp"

#include <string>
#include <string_view>

namespace tool {

// Exit statuses of the tool's own failures. A result code of the library
// or the reader exits with its absolute value, 125 for larger ones.
inline constexpr int kBadArguments = 64;
inline constexpr int kLocalUnreadable = 66;
inline constexpr int kNoReader = 69;
inline constexpr int kLocalUnwritten = 73;
inline constexpr int kLockHeld = 75;
inline constexpr int kSetupError = 78;  // the library's named mutexes cannot be made

int status_of_result(long long code);

class Session {
public:
    explicit Session(const Arguments& arguments) : arguments_(arguments) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Arguments& arguments() const { return arguments_; }
    bool json() const { return arguments_.json; }

    // Takes the application lock with --lock, chooses the volume and opens
    // the drive: 0, or the status the run ends with, having said why.
    int open();
    const Volume& volume() const { return volume_; }

    // Says why the command failed, on standard error and, with --json, as
    // {"device": ..., "error": ..., "code": null, "status": ...} on
    // standard output (no device before one is chosen); returns `status`.
    int fail(int status, std::string_view message);
    // A failed library call, with the library's or the reader's code:
    // "WHAT: failed with CODE", then "; NOTE" when there is one.
    int failed(std::string_view what, long long code, std::string_view note = {});
    // The object a command's JSON outcome starts with: the device first.
    JsonObject outcome() const;
    // The command's outcome: the object with --json, else the text (none
    // when empty), each a line on standard output. 0, or 73 when standard
    // output cannot take it.
    int succeed(const JsonObject& object, std::string_view text);
    // Text for standard output as it is (help): 0, or 73 as for succeed().
    int print(std::string_view text);

    // Makes the library's named mutexes, as a host application must: 0, or
    // with --lock the status when they cannot be made (without --lock that
    // is a warning: commands then run without machine-wide exclusion).
    int create_mutexes();

private:
    int choose_volume();
    int report(int status, const std::string& message, const std::string& code);

    const Arguments& arguments_;
    Volume volume_;
    bool locked_ = false;
    bool opened_ = false;
};

}  // namespace tool
