// The reader's update partitions.
#include "fendrac.h"
#include "hosttool/commands.hpp"
#include "hosttool/local_files.hpp"
#include "hosttool/long_call.hpp"
#include "hosttool/pieces.hpp"
#include "hosttool/reader_answers.hpp"
#include "protocol/vendor_records.hpp"

#include <cstdint>

namespace tool {
namespace {

namespace vendor = protocol::vendor;

// The reader's fields: a name leaves room for its zero, a tag fills its
// field, the library takes an image path shorter than 256 bytes.
constexpr std::size_t kLongestName = vendor::kPartitionNameSize - 1;
constexpr std::size_t kLongestTag = vendor::kImageTagSize;
constexpr std::size_t kLongestImagePath = 255;
constexpr SizeLimit kImage{kLargestFile, false, "an image"};
constexpr SizeLimit kExtraBlock{vendor::kExtraBlockSize, true, "an extra block"};

bool name_fits(const std::string& name) { return !name.empty() && name.size() <= kLongestName; }
int bad_name(Session& session, const std::string& name)
{
    return bad_length(session, "a partition name", 1, kLongestName, name.size());
}

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
    JsonObject object = session.outcome();
    object.add("name", name).add("first", values[0]).add("second", values[1]).add("third", values[2]);
    return object;
}

int created(Session& session, const std::string& name, int result, const unsigned (&values)[3])
{
    if (result != 0)
        return session.failed("partition create " + name, result);
    return session.succeed(partition_fields(session, name, values), "created " + name);
}

}  // namespace

int run_partition_create(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    unsigned values[3];
    std::string bad;
    if (!name_fits(name))
        return bad_name(session, name);
    if (!words(arguments, values, bad))
        return bad_arguments(session, "not a 32-bit number: " + bad);
    if (const int status = session.open())
        return status;
    int result;
    {
        // The library may wait for the reader's answer, by THIRD.
        const LongCall call("partition create " + name, !session.json());
        result = MSC_ReqCreatePartition(name.c_str(), values[0], values[1], values[2]);
    }
    return created(session, name, result, values);
}

int run_partition_create_image(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    const std::string& image = arguments[4];
    const Arguments& options = session.arguments();
    const std::string tag = options.has_tag ? options.tag : "";
    unsigned values[3];
    std::string bad;
    if (!name_fits(name))
        return bad_name(session, name);
    if (!words(arguments, values, bad))
        return bad_arguments(session, "not a 32-bit number: " + bad);
    if (is_standard_stream(image))
        return bad_arguments(session, "the image is a file, not standard input");
    if (image.size() > kLongestImagePath)
        return bad_length(session, "an image path", 0, kLongestImagePath, image.size());
    if (tag.size() > kLongestTag)
        return bad_length(session, "a tag", 0, kLongestTag, tag.size());
    std::string error;
    std::optional<long long> image_bytes;
    {
        LocalSource source;
        if (!source.open(image, error))
            return session.fail(kLocalUnreadable, "cannot read " + image + ": " + error);
        if (!(image_bytes = source.size()))
            return session.fail(kLocalUnreadable, "cannot read " + image + ": not a plain file, its size unknown");
        if (*image_bytes > kImage.bytes)
            return session.fail(kLocalUnreadable, size_refusal(image, *image_bytes, kImage));
    }
    std::vector<unsigned char> extra;
    if (!options.extra.empty() && !read_whole(options.extra, kExtraBlock, extra, error))
        return session.fail(kLocalUnreadable, error);
    if (const int status = session.open())
        return status;
    int result;
    {
        // One library call streams the whole image.
        const LongCall call("partition create-image " + name, !session.json());
        result = MSC_ReqCreatePartitionWithImage(name.c_str(), values[0], values[1], values[2],
                                                 static_cast<unsigned>(*image_bytes), image.c_str(), tag.c_str(),
                                                 extra.empty() ? nullptr : extra.data());
    }
    return created(session, name, result, values);
}

int run_partition_size(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    if (!name_fits(name))
        return bad_name(session, name);
    if (const int status = session.open())
        return status;
    unsigned values[3] = {};
    if (const int result = MSC_GetPartitionSize(name.c_str(), &values[0], &values[1], &values[2]))
        return session.failed("partition size " + name, result);
    if (const std::optional<int> refused = partition_size_refusal(values))
        return session.failed("partition size " + name, *refused);
    return session.succeed(
        partition_fields(session, name, values),
        std::to_string(values[0]) + " " + std::to_string(values[1]) + " " + std::to_string(values[2]));
}

int run_partition_rm(Session& session, const Words& arguments)
{
    const std::string& name = arguments[0];
    if (!name_fits(name))
        return bad_name(session, name);
    if (const int status = session.open())
        return status;
    if (const int result = MSC_ReqDeletePartition(name.c_str()))
        return session.failed("partition rm " + name, result);
    JsonObject object = session.outcome();
    object.add("name", name).add_bool("removed", true);
    return session.succeed(object, "removed " + name);
}

}  // namespace tool
