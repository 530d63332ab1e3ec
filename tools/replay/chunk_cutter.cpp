#include "tools/replay/chunk_cutter.h"

#include "tools/common/frame_text.h"

namespace replay {

std::unique_ptr<Chunk> ChunkCutter::next()
{
    LineReader& lines = source_.lines();
    auto chunk = std::make_unique<Chunk>();
    chunk->name = source_.name();
    chunk->linesBefore = lines.lineNumber();
    // A chunk ends with the first record end past chunkBytes: room for that record, unless it is long.
    chunk->text.reserve(InputSource::chunkBytes + InputSource::chunkBytes / 8);
    bool previousSkipped = false;
    Line line;
    while (lines.next(line)) {
        if (keep(line)) {
            chunk->text.insert(chunk->text.end(), line.text.begin(), line.text.end());
            if (line.carriageReturn)
                chunk->text.push_back('\r');
            if (line.terminated)
                chunk->text.push_back('\n');
            previousSkipped = false;
        } else if (previousSkipped && format_ == InputFormat::Frames) {
            // The rest of an oversized frame: the frame reader only needs to know it is there.
            ++chunk->skipped.back().lines;
            chunk->skipped.back().terminated = line.terminated;
        } else {
            chunk->skipped.push_back(SkippedLines{chunk->text.size(), 1, line.terminated});
            previousSkipped = true;
        }
    }
    if (chunk->text.empty() && chunk->skipped.empty())
        return nullptr;
    return chunk;
}

// Whether the line goes into the chunk as it is: not when it is oversized, nor, for frames,
// from the line on which its frame passes the record limit to the frame's end.
bool ChunkCutter::keep(const Line& line)
{
    if (format_ == InputFormat::Jsonl)
        return !line.oversized;
    if (tools::isFrameSeparator(line.text)) {
        frameStarted_ = false;
        frameBytes_ = 0;
        frameSkipped_ = false;
        return true;
    }
    if (!frameStarted_) {
        if (line.blank())
            return true;
        frameStarted_ = true;
    }
    frameBytes_ += line.text.size() + 1;
    frameSkipped_ = frameSkipped_ || line.oversized || frameBytes_ > source_.lines().maxLineBytes();
    return !frameSkipped_;
}

} // namespace replay
