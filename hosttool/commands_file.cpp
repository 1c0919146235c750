// Files on the reader: size, copy from and to the PC, delete. Copies move
// in pieces between the PC file and the reader, never whole in memory.
#include "fendrac.h"
#include "hosttool/commands.hpp"
#include "hosttool/local_files.hpp"
#include "hosttool/pieces.hpp"
#include "hosttool/reader_answers.hpp"
#include "protocol/vendor_records.hpp"

#include <algorithm>
#include <span>
#include <vector>

namespace tool {
namespace {

// The reader takes paths that leave room for a zero in its path field;
// the library would cut a longer one for a read, so the tool refuses it.
constexpr std::size_t kLongestPath = protocol::vendor::kPathFieldSize - 1;
bool path_fits(const std::string& path) { return !path.empty() && path.size() <= kLongestPath; }
int bad_path(Session& session, const std::string& path)
{
    return bad_length(session, "a reader path", 1, kLongestPath, path.size());
}

constexpr SizeLimit kReaderFile{kLargestFile, false, "a file on the reader"};

// A read or write of the PC's side that failed: an interrupt, or the file.
int local_failure(Session& session, const std::string& what, const std::string& failure)
{
    if (interrupted())
        return session.fail(interrupted_status(), what + ": interrupted");
    return session.fail(kLocalUnwritten, failure);
}

}  // namespace

int run_file_size(Session& session, const Words& arguments)
{
    const std::string& remote = arguments[0];
    if (!path_fits(remote))
        return bad_path(session, remote);
    if (const int status = session.open())
        return status;
    int size = 0;
    if (const int result = MSC_UsbFile_GetSize(remote.c_str(), &size))
        return session.failed("file size " + remote, result);
    JsonObject object = session.outcome();
    object.add("path", remote).add("size", size);
    return session.succeed(object, std::to_string(size));
}

int run_file_get(Session& session, const Words& arguments)
{
    const std::string& remote = arguments[0];
    const std::string local = arguments.size() > 1 ? arguments[1] : "-";
    const std::string what = "file get " + remote;
    if (!path_fits(remote))
        return bad_path(session, remote);
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
                return session.fail(interrupted_status(), what + ": interrupted");
            const int length = static_cast<int>(std::min<long long>(kPieceBytes, size - done));
            if (const int result = MSC_UsbFile_Read(remote.c_str(), piece.data(), static_cast<int>(done), length, 0))
                return session.failed(what, result);
            if (!sink.write(std::span(piece.data(), static_cast<std::size_t>(length)), error))
                return local_failure(session, what, "cannot write " + local_name(local, false) + ": " + error);
            done += length;
            progress.moved(done);
        }
    }
    if (!sink.commit(error))
        return session.fail(kLocalUnwritten, "cannot write " + local_name(local, false) + ": " + error);
    JsonObject object = session.outcome();
    object.add("path", remote).add("file", local).add("bytes", size);
    return session.succeed(
        object, is_standard_stream(local) ? "" : remote + " -> " + local + ": " + std::to_string(size) + " bytes");
}

int run_file_put(Session& session, const Words& arguments)
{
    const std::string& local = arguments[0];
    const std::string& remote = arguments[1];
    const std::string name = local_name(local, true);
    const std::string what = "file put " + remote;
    if (!path_fits(remote))
        return bad_path(session, remote);
    LocalSource source;
    std::string error;
    if (!source.open(local, error))
        return session.fail(kLocalUnreadable, "cannot read " + name + ": " + error);
    const std::optional<long long> known = source.size();
    if (known && *known > kReaderFile.bytes)
        return session.fail(kLocalUnreadable, size_refusal(name, *known, kReaderFile));
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
    std::vector<unsigned char> piece(
        static_cast<std::size_t>(std::clamp<long long>(known.value_or(kPieceBytes), 1, kPieceBytes)));
    long long done = 0;
    {
        Progress progress(known.value_or(0), known && !session.json() && shows_progress(*known));
        for (bool end = false; !end;) {
            if (interrupted())
                return session.fail(interrupted_status(), what + ": interrupted" + abandon());
            // A read that waits (a pipe, a terminal) returns on an interrupt.
            const long long got = source.read(piece, error);
            if (got < 0 && interrupted())
                return session.fail(interrupted_status(), what + ": interrupted" + abandon());
            if (got < 0)
                return session.fail(kLocalUnreadable, "cannot read " + name + ": " + error + abandon());
            if (done + got > kReaderFile.bytes)
                return session.fail(kLocalUnreadable, size_refusal(name, -1, kReaderFile) + abandon());
            if (interrupted())
                return session.fail(interrupted_status(), what + ": interrupted" + abandon());
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
    return session.succeed(object, name + " -> " + remote + ": " + std::to_string(done) + " bytes");
}

int run_file_rm(Session& session, const Words& arguments)
{
    const std::string& remote = arguments[0];
    if (!path_fits(remote))
        return bad_path(session, remote);
    if (const int status = session.open())
        return status;
    if (const int result = MSC_UsbFile_Delete(remote.c_str()))
        return session.failed("file rm " + remote, result);
    JsonObject object = session.outcome();
    object.add("path", remote).add_bool("removed", true);
    return session.succeed(object, "removed " + remote);
}

}  // namespace tool
