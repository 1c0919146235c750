// Files on the reader: size, copy from and to the PC, delete. Copies move
// in pieces between the PC file and the reader, never whole in memory.
#include "fendrac.h"
#include "hosttool/commands.hpp"
#include "hosttool/local_files.hpp"
#include "hosttool/pieces.hpp"
#include "hosttool/reader_answers.hpp"

#include <algorithm>
#include <span>
#include <vector>

namespace tool {
namespace {

// The reader takes paths shorter than 256 bytes; the library would cut a
// longer one for a read, so the tool refuses it.
bool path_fits(const std::string& path) { return !path.empty() && path.size() < 256; }
int bad_path(Session& session) { return bad_arguments(session, "a reader path has 1 to 255 bytes"); }

std::string too_large(const std::string& name, long long size)
{
    return name + " has " + std::to_string(size) + " bytes: the reader's files reach " +
           std::to_string(kLargestFile) + " bytes at most";
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
    JsonObject object = session.outcome();
    object.add("path", remote).add("size", size);
    session.succeed(object, std::to_string(size));
    return 0;
}

int run_file_get(Session& session, const Words& arguments)
{
    const std::string& remote = arguments[0];
    const std::string local = arguments.size() > 1 ? arguments[1] : "-";
    const std::string what = "file get " + remote;
    if (!path_fits(remote))
        return bad_path(session);
    if (session.json() && is_standard_stream(local))
        return bad_arguments(session, "with --json the file needs a LOCAL name");
    LocalSink sink;
    std::string error;
    if (!sink.open(local, error))
        return session.fail(kLocalUnwritten, "cannot write " + local_name(local, false) + ": " + error);
    if (const int status = session.open())
        return status;
    int size = 0;
    if (const int result = MSC_UsbFile_GetSize(remote.c_str(), &size))
        return session.failed(what, result);
    std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<long long>(size, kPieceBytes)));
    {
        Progress progress(size, !session.json() && shows_progress(size));
        for (long long done = 0; done < size;) {
            if (interrupted())
                return session.fail(kInterruptedStatus, what + ": interrupted");
            const int length = static_cast<int>(std::min<long long>(kPieceBytes, size - done));
            if (const int result =
                    MSC_UsbFile_Read(remote.c_str(), piece.data(), static_cast<int>(done), length, 0))
                return session.failed(what, result);
            if (!sink.write(std::span(piece.data(), static_cast<std::size_t>(length)), error))
                return session.fail(kLocalUnwritten, "cannot write " + local_name(local, false) + ": " + error);
            done += length;
            progress.moved(done);
        }
    }
    if (!sink.commit(error))
        return session.fail(kLocalUnwritten, "cannot write " + local_name(local, false) + ": " + error);
    JsonObject object = session.outcome();
    object.add("path", remote).add("file", local).add("bytes", size);
    session.succeed(object, is_standard_stream(local) ? "" : remote + " -> " + local + ": " + std::to_string(size) +
                                                                 " bytes");
    return 0;
}

int run_file_put(Session& session, const Words& arguments)
{
    const std::string& local = arguments[0];
    const std::string& remote = arguments[1];
    const std::string name = local_name(local, true);
    const std::string what = "file put " + remote;
    if (!path_fits(remote))
        return bad_path(session);
    LocalSource source;
    std::string error;
    if (!source.open(local, error))
        return session.fail(kLocalUnreadable, "cannot read " + name + ": " + error);
    const std::optional<long long> known = source.size();
    if (known && *known > kLargestFile)
        return session.fail(kLocalUnreadable, too_large(name, *known));
    if (const int status = session.open())
        return status;
    // The reader writes over a file in place, so a shorter copy would keep
    // the old one's tail, and it cannot rename: the old copy is deleted
    // first. The size query also tells a path that the reader refuses.
    int existing = 0;
    bool replaced = false;
    if (const int found = MSC_UsbFile_GetSize(remote.c_str(), &existing); found == 0) {
        if (const int result = MSC_UsbFile_Delete(remote.c_str()))
            return session.failed(what + ": deleting the old copy", result);
        replaced = true;
    } else if (found != kReaderNoSuchFile) {
        return session.failed(what, found);
    }
    const std::string lost = replaced ? "the old copy on the reader was deleted before the copy began" : "";
    // Whatever stops the copy, no half file stays behind to pass for the
    // whole one.
    const auto abandon = [&] {
        MSC_UsbFile_Delete(remote.c_str());
        return lost.empty() ? std::string() : "; " + lost;
    };
    std::vector<unsigned char> piece(static_cast<std::size_t>(std::clamp<long long>(known.value_or(kPieceBytes), 1,
                                                                                      kPieceBytes)));
    long long done = 0;
    {
        Progress progress(known.value_or(0), known && !session.json() && shows_progress(*known));
        for (bool end = false; !end;) {
            if (interrupted())
                return session.fail(kInterruptedStatus, what + ": interrupted" + abandon());
            const long long got = source.read(piece, error);
            if (got < 0)
                return session.fail(kLocalUnreadable, "cannot read " + name + ": " + error + abandon());
            if (done + got > kLargestFile)
                return session.fail(kLocalUnreadable, too_large(name, done + got) + abandon());
            if (interrupted())
                return session.fail(kInterruptedStatus, what + ": interrupted" + abandon());
            end = got < static_cast<long long>(piece.size());
            // An empty file is still written once, so that it exists.
            if (got == 0 && done > 0)
                break;
            if (const int result =
                    MSC_UsbFile_Write(remote.c_str(), piece.data(), static_cast<int>(done), static_cast<int>(got))) {
                abandon();
                return session.failed(what, result, lost);
            }
            done += got;
            progress.moved(done);
        }
    }
    JsonObject object = session.outcome();
    object.add("path", remote).add("file", local).add("bytes", done);
    session.succeed(object, name + " -> " + remote + ": " + std::to_string(done) + " bytes");
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
    JsonObject object = session.outcome();
    object.add("path", remote).add_bool("removed", true);
    session.succeed(object, "removed " + remote);
    return 0;
}

}  // namespace tool
