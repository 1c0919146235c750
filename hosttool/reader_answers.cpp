#include "hosttool/reader_answers.hpp"

#include <cstdint>

namespace tool {

std::optional<int> partition_size_refusal(const unsigned (&words)[3])
{
    const auto code = static_cast<std::int32_t>(words[0]);
    if (code < 0 && words[1] == words[0] && words[2] == words[0])
        return code;
    return std::nullopt;
}

}  // namespace tool
