// Lines of one input, read in large chunks and handed out where they lie in the
// buffer. Every line is followed by at least linePadding readable bytes, so a JSON
// parser that reads ahead in blocks can parse it in place, without a copy. A line
// longer than the reader's limit is never held: its bytes are dropped as they
// arrive and it is handed out as oversized, so no input can exhaust memory.
// An input can be cut into chunks at record ends; a chunk can be read again
// later, on another thread, from its own copy of the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/common/frame_text.h"

namespace replay {

struct Line {
    std::string_view text; // without its line end ("\n" or "\r\n"); valid until the next read
    uint64_t number;       // counted from 1
    bool terminated;       // false for a last line that has no line end
    bool oversized;        // longer than the limit: text is empty, the bytes were skipped
    bool carriageReturn;   // text was followed by a carriage return, which is not part of it

    bool blank() const { return !oversized && tools::isBlankLine(text); }
};

// Lines a chunk stands for without holding them: an oversized record, handed out as one
// oversized line where the chunk's text reaches offset.
struct SkippedLines {
    size_t offset;
    uint64_t lines;
    bool terminated;
};

class LineReader {
public:
    static constexpr size_t linePadding = 64;

    LineReader(int fd, size_t maxLineBytes);
    // The lines of a chunk cut before, numbered on from linesBefore; the reader takes the bytes over.
    LineReader(std::vector<char>&& text, std::vector<SkippedLines>&& skipped, uint64_t linesBefore,
               size_t maxLineBytes);

    // From now on a chunk ends after the first record end once it spans chunkBytes of the input;
    // an empty recordEnd makes every line a record end, else only a line holding just recordEnd does.
    void cutIntoChunks(size_t chunkBytes, std::string_view recordEnd);

    // False at the end of a chunk (endOfChunk() is then true, and the next call goes on), at the end
    // of the input, or when reading failed (readError() is then errno).
    bool next(Line& line);
    bool endOfChunk() const { return endOfChunk_; }
    uint64_t lineNumber() const { return lineNumber_; }

    int readError() const { return readError_; }
    uint64_t bytesRead() const { return bytesRead_; }
    size_t maxLineBytes() const { return maxLineBytes_; }

private:
    bool fill();
    bool waitForInput();
    void makeRoom();
    Line take(std::string_view raw, bool terminated);
    uint64_t offset() const { return bytesRead_ - (end_ - begin_); }

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

    std::vector<SkippedLines> skipped_;
    size_t nextSkipped_ = 0;

    size_t chunkBytes_ = 0; // 0: never cut
    std::string_view recordEnd_;
    uint64_t chunkStart_ = 0; // input offset where the current chunk begins
    bool cutBeforeNext_ = false;
    bool endOfChunk_ = false;
};

} // namespace replay
