#include "tools/replay/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
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

LineReader::LineReader(int fd, size_t maxLineBytes)
    : fd_(fd), maxLineBytes_(maxLineBytes), buffer_(chunkBytes + linePadding)
{}

bool LineReader::next(Line& line)
{
    for (;;) {
        const char* data = buffer_.data();
        const void* lineEnd = std::memchr(data + scanned_, '\n', end_ - scanned_);
        if (lineEnd != nullptr) {
            const size_t length = static_cast<size_t>(static_cast<const char*>(lineEnd) - (data + begin_));
            const std::string_view text = withoutCarriageReturn(data + begin_, length);
            const bool oversized = skipping_ || text.size() > maxLineBytes_;
            line = Line{oversized ? std::string_view() : text, ++lineNumber_, true, oversized};
            begin_ += length + 1;
            scanned_ = begin_;
            skipping_ = false;
            return true;
        }
        scanned_ = end_;
        // One byte of room for a carriage return that the line end may still bring.
        if (end_ - begin_ > maxLineBytes_ + 1)
            skipping_ = true;
        if (skipping_)
            begin_ = scanned_ = end_;
        if (atEnd_) {
            if ((begin_ == end_ && !skipping_) || readError_ != 0)
                return false;
            const std::string_view text = withoutCarriageReturn(data + begin_, end_ - begin_);
            const bool oversized = skipping_ || text.size() > maxLineBytes_;
            line = Line{oversized ? std::string_view() : text, ++lineNumber_, false, oversized};
            begin_ = scanned_ = end_;
            skipping_ = false;
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
        if (errno == EINTR)
            continue;
        // A non-blocking descriptor (a shared terminal or pipe) has no data yet: wait for it.
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitForInput())
            continue;
        readError_ = errno;
        return false;
    }
}

bool LineReader::waitForInput()
{
    pollfd ready{fd_, POLLIN, 0};
    for (;;) {
        if (::poll(&ready, 1, -1) >= 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// Moves the unfinished line to the front, and grows the buffer only for a line longer than it,
// never past what the longest line allowed needs.
void LineReader::makeRoom()
{
    if (begin_ != 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        scanned_ -= begin_;
        begin_ = 0;
    }
    const size_t largest = std::max(buffer_.size(), maxLineBytes_ + 2 + chunkBytes + linePadding);
    if (buffer_.size() - linePadding - end_ < chunkBytes / 2)
        buffer_.resize(std::min(buffer_.size() * 2, largest));
}

} // namespace replay
