#include "tools/common/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tools {

namespace {

constexpr size_t tailBlock = 64 * 1024;

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int syncFolder(const std::string& path)
{
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return errno;
    const int error = ::fsync(folder) == 0 ? 0 : errno;
    ::close(folder);
    return error;
}

bool truncateTo(int descriptor, off_t size)
{
    return ::ftruncate(descriptor, size) == 0;
}

bool isRegular(int descriptor)
{
    struct stat identity {};
    return ::fstat(descriptor, &identity) == 0 && S_ISREG(identity.st_mode);
}

// Where the last terminator in the first size bytes ends; 0 when there is none. It reads blocks from the
// end, each overlapping the next by the terminator's length less one, so that a terminator across a
// block border is found too.
off_t endOfLast(int reader, off_t size, std::string_view terminator, int& error)
{
    std::vector<char> block(tailBlock + terminator.size());
    for (off_t end = size; end > 0;) {
        const off_t start = std::max<off_t>(0, end - static_cast<off_t>(tailBlock));
        const off_t stop = std::min<off_t>(size, end + static_cast<off_t>(terminator.size()) - 1);
        const size_t length = static_cast<size_t>(stop - start);
        errno = 0;
        if (::pread(reader, block.data(), length, start) != static_cast<ssize_t>(length)) {
            error = errno != 0 ? errno : EIO;
            return size;
        }
        const size_t found = std::string_view(block.data(), length).rfind(terminator);
        if (found != std::string_view::npos)
            return start + static_cast<off_t>(found + terminator.size());
        end = start;
    }
    return 0;
}

} // namespace

int OutputFile::openAt(const std::string& path, Mode mode, int& descriptor, std::string& reason)
{
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_APPEND : O_TRUNC);
    descriptor = ::open(path.c_str(), flags, 0644);
    if (descriptor < 0) {
        const int error = errno;
        reason = path + ": " + std::strerror(error);
        return error;
    }
    createdUnsynced_ = !existed;
    return 0;
}

bool OutputFile::open(const std::string& path, Mode mode, std::string& reason)
{
    close();
    path_ = path;
    if (path.empty()) {
        descriptor_ = STDOUT_FILENO;
        owned_ = false;
        createdUnsynced_ = false;
    } else if (openAt(path, mode, descriptor_, reason) != 0) {
        return false;
    } else {
        owned_ = true;
    }
    regular_ = isRegular(descriptor_);
    return true;
}

int OutputFile::reopen(std::string& reason)
{
    if (path_.empty())
        return 0;
    int descriptor = -1;
    const int error = openAt(path_, Mode::Append, descriptor, reason);
    if (error != 0)
        return error;
    close();
    descriptor_ = descriptor;
    owned_ = true;
    regular_ = isRegular(descriptor_);
    return 0;
}

void OutputFile::close()
{
    if (owned_ && descriptor_ >= 0)
        ::close(descriptor_);
    descriptor_ = -1;
    owned_ = false;
}

int OutputFile::write(std::string_view text)
{
    struct stat before {};
    const bool canCutBack = regular_ && ::fstat(descriptor_, &before) == 0;
    const char* at = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor_, at, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : EIO;
            // Nothing of the failed record may stay; should the cut fail too, the next start's cut
            // to a record boundary repairs it.
            if (canCutBack)
                truncateTo(descriptor_, before.st_size);
            return error;
        }
        at += written;
        left -= static_cast<size_t>(written);
    }
    return 0;
}

uint64_t OutputFile::cutAfterLast(std::string_view terminator, int& error)
{
    error = 0;
    struct stat identity {};
    if (!regular_ || ::fstat(descriptor_, &identity) != 0 || identity.st_size == 0)
        return 0;
    // Read through a descriptor of its own: writing one opened for reading too would keep a FIFO's
    // writer from ever noticing that the reader has gone.
    const int reader = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat read {};
    if (reader < 0 || ::fstat(reader, &read) != 0 || read.st_dev != identity.st_dev ||
        read.st_ino != identity.st_ino) {
        // A file the tool may only write: it has no way to look at the end.
        if (reader < 0 && errno != EACCES)
            error = errno;
        if (reader >= 0)
            ::close(reader);
        return 0;
    }
    const off_t keep = endOfLast(reader, identity.st_size, terminator, error);
    ::close(reader);
    if (error != 0 || keep == identity.st_size)
        return 0;
    if (!truncateTo(descriptor_, keep)) {
        error = errno;
        return 0;
    }
    return static_cast<uint64_t>(identity.st_size - keep);
}

OutputFile::Whereabouts OutputFile::whereabouts() const
{
    struct stat open {};
    if (path_.empty() || ::fstat(descriptor_, &open) != 0)
        return Whereabouts::AtPath;
    if (open.st_nlink == 0)
        return Whereabouts::Unlinked;
    struct stat named {};
    if (::stat(path_.c_str(), &named) != 0)
        return errno == ENOENT ? Whereabouts::Moved : Whereabouts::AtPath;
    return named.st_dev == open.st_dev && named.st_ino == open.st_ino ? Whereabouts::AtPath
                                                                      : Whereabouts::Moved;
}

int OutputFile::sync()
{
    if (!regular_)
        return 0;
    if (::fdatasync(descriptor_) != 0)
        return errno;
    if (createdUnsynced_) {
        const int error = syncFolder(path_);
        if (error != 0)
            return error;
        createdUnsynced_ = false;
    }
    return 0;
}

} // namespace tools
