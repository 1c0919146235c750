// The display controller's kept state (epdc.state) within one session: read
// under the session's lock when a request first needs it, written back when
// the session commits if a request changed it.
#pragma once

#include "vreader/model/core/session.hpp"
#include "vreader/model/devices/display/epdc_state.hpp"

#include <optional>

namespace vreader {

class EpdcKeptState final : public KeptState {
public:
    explicit EpdcKeptState(Session& session) : session_(session) { session_.keep(*this); }
    ~EpdcKeptState() { session_.drop(*this); }
    EpdcKeptState(const EpdcKeptState&) = delete;
    EpdcKeptState& operator=(const EpdcKeptState&) = delete;

    // The controller state, or nullptr when it cannot be read.
    EpdcState* get();
    void changed() { dirty_ = true; }

    int write_back() override;

private:
    Session& session_;
    std::optional<EpdcState> state_;
    bool failed_ = false;
    bool dirty_ = false;
};

}  // namespace vreader
