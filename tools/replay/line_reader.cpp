#include "tools/replay/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace replay {

namespace {

// Large enough that a read costs little per line, small enough to stay in cache.
constexpr size_t readBytes = size_t{1} << 16;

} // namespace

LineReader::LineReader(int fd, size_t maxLineBytes)
    : fd_(fd), maxLineBytes_(maxLineBytes), buffer_(readBytes + linePadding)
{}

LineReader::LineReader(std::vector<char>&& text, std::vector<SkippedLines>&& skipped, uint64_t linesBefore,
                       size_t maxLineBytes)
    : fd_(-1), maxLineBytes_(maxLineBytes), buffer_(std::move(text)), end_(buffer_.size()),
      lineNumber_(linesBefore), bytesRead_(end_), atEnd_(true), skipped_(std::move(skipped))
{
    buffer_.resize(end_ + linePadding);
}

void LineReader::cutIntoChunks(size_t chunkBytes, std::string_view recordEnd)
{
    chunkBytes_ = chunkBytes;
    recordEnd_ = recordEnd;
}

bool LineReader::next(Line& line)
{
    endOfChunk_ = cutBeforeNext_;
    if (cutBeforeNext_) {
        cutBeforeNext_ = false;
        chunkStart_ = offset();
        return false;
    }
    for (;;) {
        if (nextSkipped_ != skipped_.size() && skipped_[nextSkipped_].offset == begin_) {
            const SkippedLines& skipped = skipped_[nextSkipped_++];
            line = Line{std::string_view(), lineNumber_ + 1, skipped.terminated, true, false};
            lineNumber_ += skipped.lines;
            return true;
        }
        const char* data = buffer_.data();
        const void* lineEnd = std::memchr(data + scanned_, '\n', end_ - scanned_);
        if (lineEnd != nullptr) {
            const size_t length = static_cast<size_t>(static_cast<const char*>(lineEnd) - (data + begin_));
            line = take(std::string_view(data + begin_, length), true);
            begin_ += length + 1;
            scanned_ = begin_;
            skipping_ = false;
            const bool recordEnds = recordEnd_.empty() || (!line.oversized && line.text == recordEnd_);
            cutBeforeNext_ = chunkBytes_ != 0 && recordEnds && offset() - chunkStart_ >= chunkBytes_;
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
            line = take(std::string_view(data + begin_, end_ - begin_), false);
            begin_ = scanned_ = end_;
            skipping_ = false;
            return true;
        }
        atEnd_ = !fill();
    }
}

Line LineReader::take(std::string_view raw, bool terminated)
{
    const bool carriageReturn = !raw.empty() && raw.back() == '\r';
    if (carriageReturn)
        raw.remove_suffix(1);
    const bool oversized = skipping_ || raw.size() > maxLineBytes_;
    return Line{oversized ? std::string_view() : raw, ++lineNumber_, terminated, oversized,
                carriageReturn && !oversized};
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
    const size_t largest = std::max(buffer_.size(), maxLineBytes_ + 2 + readBytes + linePadding);
    if (buffer_.size() - linePadding - end_ < readBytes / 2)
        buffer_.resize(std::min(buffer_.size() * 2, largest));
}

} // namespace replay
