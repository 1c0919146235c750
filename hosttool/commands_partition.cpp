// The reader's update partitions.
#include "fendrac.h"
#include "hosttool/commands.hpp"
#include "hosttool/local_files.hpp"

namespace tool {
namespace {

bool name_fits(const std::string& name) { return !name.empty() && name.size() <= 31; }
int bad_name(Session& session) { return bad_arguments(session, "a partition name has 1 to 31 characters"); }

// FIRST SECOND THIRD after the name.
bool words(const Words& arguments, unsigned (&values)[3], std::string& bad)
{
    for (int i = 0; i < 3; ++i)
        if (!parse_u32(arguments[static_cast<std::size_t>(i) + 1], values[i])) {
            bad = arguments[static_cast<std::size_t>(i) + 1];
            return false;
        }
    return true;
}

// A partition and its three words, as --json shows them.
JsonObject partition_fields(const Session& session, const std::string& name, const unsigned (&values)[3])
{
    JsonObject object;
    object.add("device", session.volume().device)
        .add("name", name)
        .add("first", values[0])
        .add("second", values[1])
        .add("third", values[2]);
    return object;
}

int created(Session& session, const std::string& name, int result, const unsigned (&values)[3])
{
    if (result != 0)
        return session.failed("partition create " + name, result);
    session.succeed(partition_fields(session, name, values), "created " + name);
    return 0;
}

}  // namespace

int run_partition_create(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    unsigned values[3];
    std::string bad;
    if (!name_fits(name))
        return bad_name(session);
    if (!words(arguments, values, bad))
        return bad_arguments(session, "not a 32-bit number: " + bad);
    if (const int status = session.open())
        return status;
    return created(session, name, MSC_ReqCreatePartition(name.c_str(), values[0], values[1], values[2]), values);
}

int run_partition_create_image(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    const std::string& image = arguments[4];
    const Arguments& options = session.arguments();
    const std::string tag = options.has_tag ? options.tag : "fendrac";
    unsigned values[3];
    std::string bad;
    if (!name_fits(name))
        return bad_name(session);
    if (!words(arguments, values, bad))
        return bad_arguments(session, "not a 32-bit number: " + bad);
    if (image.size() >= 256 || is_standard_stream(image))
        return bad_arguments(session, "the image is a file, its path shorter than 256 bytes");
    if (tag.size() > 16)
        return bad_arguments(session, "a tag has at most 16 characters");
    const std::optional<long long> image_bytes = local_size(image);
    if (!image_bytes)
        return session.fail(kLocalUnreadable, "cannot read " + image);
    std::optional<std::vector<unsigned char>> extra;
    if (!options.extra.empty()) {
        extra = read_local(options.extra);
        if (!extra)
            return session.fail(kLocalUnreadable, "cannot read " + options.extra);
        if (extra->size() != 128)
            return bad_arguments(session, "the extra block is 128 bytes, not " + std::to_string(extra->size()));
    }
    if (const int status = session.open())
        return status;
    const int result =
        MSC_ReqCreatePartitionWithImage(name.c_str(), values[0], values[1], values[2],
                                        static_cast<unsigned>(*image_bytes), image.c_str(), tag.c_str(),
                                        extra ? extra->data() : nullptr);
    return created(session, name, result, values);
}

int run_partition_size(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    if (!name_fits(name))
        return bad_name(session);
    if (const int status = session.open())
        return status;
    unsigned values[3] = {};
    if (const int result = MSC_GetPartitionSize(name.c_str(), &values[0], &values[1], &values[2]))
        return session.failed("partition size " + name, result);
    session.succeed(partition_fields(session, name, values),
                    std::to_string(values[0]) + " " + std::to_string(values[1]) + " " + std::to_string(values[2]));
    return 0;
}

int run_partition_rm(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    if (!name_fits(name))
        return bad_name(session);
    if (const int status = session.open())
        return status;
    if (const int result = MSC_ReqDeletePartition(name.c_str()))
        return session.failed("partition rm " + name, result);
    JsonObject object;
    object.add("device", session.volume().device).add("name", name).add_bool("removed", true);
    session.succeed(object, "removed " + name);
    return 0;
}

}  // namespace tool
