#include "tools/replay/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace replay {

namespace {

// Large enough that a read costs little per line, small enough to stay in cache.
constexpr size_t chunkBytes = size_t{1} << 16;

std::string_view withoutCarriageReturn(const char* text, size_t length)
{
    if (length != 0 && text[length - 1] == '\r')
        --length;
    return std::string_view(text, length);
}

} // namespace

LineReader::LineReader(int fd) : fd_(fd), buffer_(chunkBytes + linePadding) {}

bool LineReader::next(Line& line)
{
    for (;;) {
        const char* data = buffer_.data();
        const void* lineEnd = std::memchr(data + scanned_, '\n', end_ - scanned_);
        if (lineEnd != nullptr) {
            const size_t length = static_cast<size_t>(static_cast<const char*>(lineEnd) - (data + begin_));
            line = Line{withoutCarriageReturn(data + begin_, length), ++lineNumber_, true};
            begin_ += length + 1;
            scanned_ = begin_;
            return true;
        }
        scanned_ = end_;
        if (atEnd_) {
            if (begin_ == end_ || readError_ != 0)
                return false;
            line = Line{withoutCarriageReturn(data + begin_, end_ - begin_), ++lineNumber_, false};
            begin_ = scanned_ = end_;
            return true;
        }
        atEnd_ = !fill();
    }
}

bool LineReader::fill()
{
    makeRoom();
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - linePadding - end_);
        if (got > 0) {
            end_ += static_cast<size_t>(got);
            bytesRead_ += static_cast<uint64_t>(got);
            return true;
        }
        if (got == 0)
            return false;
        if (errno != EINTR) {
            readError_ = errno;
            return false;
        }
    }
}

// Moves the unfinished line to the front, and grows the buffer only for a line longer than it.
void LineReader::makeRoom()
{
    if (begin_ != 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        scanned_ -= begin_;
        begin_ = 0;
    }
    if (buffer_.size() - linePadding - end_ < chunkBytes / 2)
        buffer_.resize(buffer_.size() * 2);
}

} // namespace replay
