// The object behind a handle that a system layer off Windows gives out (a
// named mutex's, a thread's): one base, so that close_handle can delete any
// of them, whichever file made it.
#pragma once

namespace hostos {

struct HandleObject {
    virtual ~HandleObject() = default;
};

}  // namespace hostos
