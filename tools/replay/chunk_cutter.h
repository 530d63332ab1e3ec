// Copies one input into chunks, where its line reader cuts it, for workers to
// convert on other threads. A record past the record limit is not kept: the
// chunk only notes where it stood and how many lines it spanned.
#pragma once

#include <memory>

#include "tools/replay/chunk.h"
#include "tools/replay/input.h"

namespace replay {

class ChunkCutter {
public:
    // source is already cut into chunks (InputSource::cutIntoChunks).
    ChunkCutter(InputSource& source, InputFormat format) : source_(source), format_(format) {}

    // The next chunk, or null at the end of the input.
    std::unique_ptr<Chunk> next();

private:
    bool keep(const Line& line);

    InputSource& source_;
    InputFormat format_;
    // The frame being read, followed as the frame reader follows it.
    bool frameStarted_ = false;
    size_t frameBytes_ = 0;
    bool frameSkipped_ = false;
};

} // namespace replay
