// Where the host's JSON text is written: straight into a string's own buffer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace obclient::json {

// Room is made ahead in chunks and written through a pointer, so that a piece of text costs a
// store instead of a call into std::string. Until the cursor is gone the string holds the room
// not yet written; the destructor cuts it back to what was written, also when an exception
// passes through.
class OutputCursor {
public:
    explicit OutputCursor(std::string& out)
        : out_(out), start_(out.size()), at_(out.data() + out.size()), limit_(at_), cutBack_(true)
    {}
    // Writes from the start of a buffer that is used again and again, over what it held, and
    // leaves its size as it is, so that resize() zero-fills it only when it grows past its
    // largest size yet. The text is its first written() bytes.
    struct Overwrite {};
    OutputCursor(std::string& buffer, Overwrite)
        : out_(buffer), start_(0), at_(buffer.data()), limit_(at_ + buffer.size()), cutBack_(false)
    {}
    ~OutputCursor()
    {
        if (cutBack_)
            out_.resize(written());
    }
    OutputCursor(const OutputCursor&) = delete;
    OutputCursor& operator=(const OutputCursor&) = delete;

    // At least `size` writable bytes at the returned pointer; hand the end of what was
    // written to advance(). Any earlier pointer is stale afterwards.
    char* room(std::size_t size)
    {
        if (static_cast<std::size_t>(limit_ - at_) < size)
            grow(size);
        return at_;
    }
    void advance(char* end) { at_ = end; }

    void put(char c) { *room(1) = c, ++at_; }
    void put(const char* text, std::size_t size)
    {
        std::memcpy(room(size), text, size);
        at_ += size;
    }
    template <std::size_t N> void putLiteral(const char (&text)[N]) { put(text, N - 1); }

    // Offsets, unlike pointers, survive growth.
    std::size_t written() const { return static_cast<std::size_t>(at_ - out_.data()); }
    void rewind(std::size_t offset) { at_ = out_.data() + offset; }

    // For writers that append to the string themselves, between flush() and resume().
    std::string& flush()
    {
        out_.resize(written());
        return out_;
    }
    void resume() { at_ = limit_ = out_.data() + out_.size(); }

private:
    // Each chunk is at least what this cursor has written so far, so the zero fill that
    // resize() does stays in proportion to the text written.
    static constexpr std::size_t firstChunk = 256;

    void grow(std::size_t size)
    {
        const std::size_t used = written();
        out_.resize(used + std::max({size, used - start_, firstChunk}));
        at_ = out_.data() + used;
        limit_ = out_.data() + out_.size();
    }

    std::string& out_;
    std::size_t start_;
    char* at_;
    char* limit_;
    bool cutBack_;
};

} // namespace obclient::json
