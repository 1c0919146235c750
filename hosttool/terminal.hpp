// Whether a person watches the tool's standard error, so that a line that
// counts seconds or a progress bar can be drawn there.
#pragma once

namespace tool {

bool stderr_is_terminal();

}  // namespace tool
