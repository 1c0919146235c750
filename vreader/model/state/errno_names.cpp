#include "vreader/model/state/errno_names.hpp"

#include "vreader/model/state/key_value.hpp"

#include <cerrno>

namespace vreader {
namespace {

struct ErrnoName {
    int number;
    std::string_view name;
};

constexpr ErrnoName kNames[] = {
    {EPERM, "EPERM"},     {ENOENT, "ENOENT"},       {EINTR, "EINTR"},       {EIO, "EIO"},
    {ENXIO, "ENXIO"},     {E2BIG, "E2BIG"},         {EBADF, "EBADF"},       {EAGAIN, "EAGAIN"},
    {ENOMEM, "ENOMEM"},   {EACCES, "EACCES"},       {EFAULT, "EFAULT"},     {EBUSY, "EBUSY"},
    {EEXIST, "EEXIST"},   {ENODEV, "ENODEV"},       {EINVAL, "EINVAL"},     {ENFILE, "ENFILE"},
    {EMFILE, "EMFILE"},   {ENOTTY, "ENOTTY"},       {EFBIG, "EFBIG"},       {ENOSPC, "ENOSPC"},
    {EROFS, "EROFS"},     {EPIPE, "EPIPE"},         {ERANGE, "ERANGE"},     {ENOSYS, "ENOSYS"},
    {ENODATA, "ENODATA"}, {ETIME, "ETIME"},         {EPROTO, "EPROTO"},     {EOVERFLOW, "EOVERFLOW"},
    {ENOBUFS, "ENOBUFS"}, {ETIMEDOUT, "ETIMEDOUT"}, {EMSGSIZE, "EMSGSIZE"}, {ESPIPE, "ESPIPE"},
    {EISDIR, "EISDIR"},
};

}  // namespace

std::optional<int> parse_errno(std::string_view text)
{
    for (const auto& entry : kNames)
        if (entry.name == text)
            return entry.number;
    if (const auto number = parse_unsigned(text, 4095); number && *number > 0)
        return static_cast<int>(*number);
    return std::nullopt;
}

std::string errno_name(int error)
{
    for (const auto& entry : kNames)
        if (entry.number == error)
            return std::string(entry.name);
    return std::to_string(error);
}

std::string known_errno_names()
{
    std::string text;
    for (const auto& entry : kNames) {
        if (!text.empty())
            text += ' ';
        text += entry.name;
    }
    return text;
}

}  // namespace vreader
