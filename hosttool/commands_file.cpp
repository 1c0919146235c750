// Files on the reader: size, copy from and to the PC, delete.
#include "fendrac.h"
#include "hosttool/commands.hpp"
#include "hosttool/local_files.hpp"
#include "hosttool/pieces.hpp"

#include <vector>

namespace tool {
namespace {

// The reader takes paths shorter than 256 bytes; the library would cut a
// longer one for a read, so the tool refuses it.
bool path_fits(const std::string& path) { return !path.empty() && path.size() < 256; }
int bad_path(Session& session) { return bad_arguments(session, "a reader path has 1 to 255 bytes"); }

std::string shown(const std::string& local)
{
    return is_standard_stream(local) ? std::string(local.empty() ? "standard output" : "standard input") : local;
}

}  // namespace

int run_file_size(Session& session, const Words& arguments)
{
    const std::string& remote = arguments[0];
    if (!path_fits(remote))
        return bad_path(session);
    if (const int status = session.open())
        return status;
    int size = 0;
    if (const int result = MSC_UsbFile_GetSize(remote.c_str(), &size))
        return session.failed("file size " + remote, result);
    JsonObject object;
    object.add("device", session.volume().device).add("path", remote).add("size", size);
    session.succeed(object, std::to_string(size));
    return 0;
}

int run_file_get(Session& session, const Words& arguments)
{
    const std::string& remote = arguments[0];
    const std::string local = arguments.size() > 1 ? arguments[1] : "-";
    if (!path_fits(remote))
        return bad_path(session);
    if (session.json() && is_standard_stream(local))
        return bad_arguments(session, "with --json the file needs a LOCAL name");
    if (const int status = session.open())
        return status;
    int size = 0;
    if (const int result = MSC_UsbFile_GetSize(remote.c_str(), &size))
        return session.failed("file size " + remote, result);
    std::vector<unsigned char> data(static_cast<std::size_t>(size));
    bool interrupted = false;
    const int result = move_in_pieces(size, !session.json() && shows_progress(size), interrupted,
                                      [&](int position, int length) {
                                          return length == 0 ? 0
                                                             : MSC_UsbFile_Read(remote.c_str(), data.data() + position,
                                                                                position, length, 0);
                                      });
    if (interrupted)
        return session.fail(kInterruptedStatus, "file get " + remote + ": interrupted");
    if (result != 0)
        return session.failed("file get " + remote, result);
    if (!write_local(local, data))
        return session.fail(kLocalUnwritten, "cannot write " + shown(local));
    JsonObject object;
    object.add("device", session.volume().device).add("path", remote).add("file", local).add("bytes", size);
    session.succeed(object,
                    is_standard_stream(local) ? "" : remote + " -> " + local + ": " + std::to_string(size) + " bytes");
    return 0;
}

int run_file_put(Session& session, const Words& arguments)
{
    const std::string& local = arguments[0];
    const std::string& remote = arguments[1];
    if (!path_fits(remote))
        return bad_path(session);
    const std::optional<std::vector<unsigned char>> data = read_local(local);
    if (!data)
        return session.fail(kLocalUnreadable, "cannot read " + shown(local) + " (or it has 2 GiB or more)");
    if (const int status = session.open())
        return status;
    // The reader writes over a file in place, so a shorter copy would keep
    // the old one's tail: the file is replaced.
    int existing = 0;
    if (MSC_UsbFile_GetSize(remote.c_str(), &existing) == 0)
        if (const int result = MSC_UsbFile_Delete(remote.c_str()))
            return session.failed("file rm " + remote, result);
    const long long size = static_cast<long long>(data->size());
    bool interrupted = false;
    const int result = move_in_pieces(size, !session.json() && shows_progress(size), interrupted,
                                      [&](int position, int length) {
                                          return MSC_UsbFile_Write(remote.c_str(), data->data() + position, position,
                                                                   length);
                                      });
    if (interrupted || result != 0) {
        // No half file stays behind to pass for the whole one.
        MSC_UsbFile_Delete(remote.c_str());
        return interrupted ? session.fail(kInterruptedStatus, "file put " + remote + ": interrupted")
                           : session.failed("file put " + remote, result);
    }
    JsonObject object;
    object.add("device", session.volume().device).add("path", remote).add("file", local).add("bytes", size);
    session.succeed(object, shown(local) + " -> " + remote + ": " + std::to_string(size) + " bytes");
    return 0;
}

int run_file_rm(Session& session, const Words& arguments)
{
    const std::string& remote = arguments[0];
    if (!path_fits(remote))
        return bad_path(session);
    if (const int status = session.open())
        return status;
    if (const int result = MSC_UsbFile_Delete(remote.c_str()))
        return session.failed("file rm " + remote, result);
    JsonObject object;
    object.add("device", session.volume().device).add("path", remote).add_bool("removed", true);
    session.succeed(object, "removed " + remote);
    return 0;
}

}  // namespace tool
