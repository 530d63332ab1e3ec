// Received frames on their way to the worker, in one block of storage that keeps its
// capacity when cleared: a batch handed back empty takes the next frames without
// allocating, on the thread that reads them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace consume {

class FrameBatch {
public:
    struct Frame {
        uint64_t connection; // acknowledgements go back on the connection that delivered the frame
        std::string_view text;
    };

    void add(uint64_t connection, std::string_view text)
    {
        frames_.push_back({connection, bytes_.size(), text.size()});
        bytes_.append(text);
    }
    Frame operator[](size_t index) const
    {
        const Span& span = frames_[index];
        return {span.connection, std::string_view(bytes_).substr(span.offset, span.size)};
    }
    size_t size() const { return frames_.size(); }
    size_t bytes() const { return bytes_.size(); } // of the frames' texts
    size_t capacityBytes() const { return bytes_.capacity(); }
    bool empty() const { return frames_.empty(); }
    void clear()
    {
        bytes_.clear();
        frames_.clear();
    }

private:
    struct Span {
        uint64_t connection;
        size_t offset;
        size_t size;
    };
    std::string bytes_;
    std::vector<Span> frames_;
};

} // namespace consume
