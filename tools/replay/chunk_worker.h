// Converts whole chunks on one thread, with a codec instance of its own (the
// plug-in allows one instance per thread): reads the chunk's records, sends them
// in batches, and keeps the output lines and stderr lines in the chunk, for a
// writer to emit later in input order. Host values never leave the thread.
#pragma once

#include <string>

#include "obclient/plugin_library.h"
#include "tools/common/batch.h"
#include "tools/common/codec_session.h"
#include "tools/replay/chunk.h"
#include "tools/replay/options.h"

namespace replay {

class ChunkWorker {
public:
    ChunkWorker(const PluginLibrary& plugin, const Options& options)
        : options_(options), session_(plugin), batch_(options.batchSize)
    {}

    // Creates and starts the codec, which takes its own copy of config; false with the reason.
    bool open(vlm_data_t& config, std::string& reason);
    // On the worker's thread only.
    void convert(Chunk& chunk);

private:
    // Into the output of the chunk being converted; handle is &output_.
    static int32_t receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end);

    const Options& options_;
    tools::CodecSession session_;
    tools::Batch batch_;
    ChunkOutput* output_ = nullptr;
};

} // namespace replay
