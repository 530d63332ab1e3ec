// Lines of one input, read in large chunks and handed out where they lie in the
// buffer. Every line is followed by at least linePadding readable bytes, so a JSON
// parser that reads ahead in blocks can parse it in place, without a copy. A line
// longer than the reader's limit is never held: its bytes are dropped as they
// arrive and it is handed out as oversized, so no input can exhaust memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace replay {

struct Line {
    std::string_view text; // without its line end ("\n" or "\r\n"); valid until the next read
    uint64_t number;       // counted from 1
    bool terminated;       // false for a last line that has no line end
    bool oversized;        // longer than the limit: text is empty, the bytes were skipped

    bool blank() const { return !oversized && text.find_first_not_of(" \t") == std::string_view::npos; }
};

class LineReader {
public:
    static constexpr size_t linePadding = 64;

    LineReader(int fd, size_t maxLineBytes);

    // False at the end of the input, or when reading failed (readError() is then errno).
    bool next(Line& line);

    int readError() const { return readError_; }
    uint64_t bytesRead() const { return bytesRead_; }
    size_t maxLineBytes() const { return maxLineBytes_; }

private:
    bool fill();
    bool waitForInput();
    void makeRoom();

    int fd_;
    size_t maxLineBytes_;
    bool skipping_ = false; // inside an oversized line, dropping its bytes
    std::vector<char> buffer_;
    size_t begin_ = 0;   // first byte not yet handed out
    size_t scanned_ = 0; // bytes before this hold no line end
    size_t end_ = 0;     // one past the last byte read
    uint64_t lineNumber_ = 0;
    uint64_t bytesRead_ = 0;
    int readError_ = 0;
    bool atEnd_ = false;
};

} // namespace replay
