// A piece of a run that the writer emits whole, in input order: a chunk of an
// input for a worker to convert, or a note about an input (it could not be
// opened or read, or it was empty) that only has stderr lines.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "tools/replay/chunk_output.h"
#include "tools/replay/line_reader.h"

namespace replay {

struct Chunk {
    std::string name; // of the input
    bool toConvert = true;
    // What the worker takes over.
    uint64_t linesBefore = 0;
    std::vector<char> text;
    std::vector<SkippedLines> skipped;

    ChunkOutput output;
    std::exception_ptr failure; // why the conversion could not finish, raised again by the writer
    bool finished = false;      // converted, or nothing to convert; read and set under the pool's lock
};

} // namespace replay
