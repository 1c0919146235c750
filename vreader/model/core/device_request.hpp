// One request a program makes of a device, as every model serves it. The
// reader is checked once, by the request and in one order: its lock file
// first (a reader whose lock file cannot be used fails the request with
// that errno), then the fault injected on the request (one that ends it
// ends it here, journaled as injected), and only then does the device do
// its own work. The request ends with its line journaled and its result
// returned, >= 0 or -errno. A device takes neither a fault nor the
// reader's lock by hand: it asks its request for them.
#pragma once

#include "vreader/model/core/reader_context.hpp"
#include "vreader/model/state/faults.hpp"
#include "vreader/model/state/json_line.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vreader {

// Which injected faults end the request at its start: none (the device
// applies the fault itself), those with an errno (a short read or a lost
// write still goes on), or any that fired.
enum class FaultEnds { None, Errors, Any };

class DeviceRequest {
public:
    // A request journaled and faulted as `name` on the node `device` (its
    // kernel name; empty for a request of no node).
    DeviceRequest(ReaderContext& context, std::string_view device, std::string_view name)
        : DeviceRequest(context, device, name, name)
    {
    }
    // One journaled as `name` and faulted as `fault_name` (an attribute's
    // store is faulted as a write).
    DeviceRequest(ReaderContext& context, std::string_view device, std::string_view name, std::string_view fault_name);
    DeviceRequest(const DeviceRequest&) = delete;
    DeviceRequest& operator=(const DeviceRequest&) = delete;

    // The request's journal line; the device adds its fields.
    JsonLine& line() { return line_; }
    Session& session() { return session_; }

    // Checks the reader's lock file, then takes the fault on the request.
    // The request's result when either ended it; nothing when the device
    // goes on.
    std::optional<std::int64_t> start(FaultEnds ends);
    // The same for a request no fault can be set on (one the device does
    // not know): only the lock file is checked.
    std::optional<std::int64_t> start_unfaulted();

    // The fault the start took and let the request go on with.
    const FaultHit& fault() const { return fault_; }
    bool faulted(FaultKind kind) const { return fault_.fired && fault_.kind == kind; }

    // Holds the reader's lock from here to the request's end, for work on
    // the device's kept state. 0 or an errno value.
    int lock_reader() { return session_.lock(); }

    // Ends the request: writes back what changed and journals its line with
    // `result` (-errno for a failure; an unwritable state turns a success
    // into EIO). Returns the result.
    std::int64_t finish(std::int64_t result, bool injected = false);
    // Ends it with the errno of the fault it took.
    std::int64_t finish_injected() { return finish(-fault_.error, fault_.fired); }

    // A line the request sets off (the device's answer, a reply), journaled
    // after the request's own.
    void follow(JsonLine& line) { session_.finish(line, 0, false); }
    // The fault on what the request sets off on the same node: the reply it
    // makes the device send ("reply", "reply_XX"), the flash it programs
    // ("flash"). The start checked the reader for it.
    FaultHit fault_on(std::string_view name) { return session_.take_fault(name, device_); }

private:
    Session session_;
    JsonLine line_;
    std::string device_;
    std::string fault_name_;
    FaultHit fault_;
};

}  // namespace vreader
