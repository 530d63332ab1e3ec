// The run with several workers. This thread reads each input and cuts it into
// chunks at record ends; a pool of workers converts whole chunks side by side;
// this thread then writes the chunks out in input order, each with the stderr
// lines its worker held, so the output is what one worker would have written.
// A bounded number of chunks is in flight at any time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "obclient/plugin_library.h"
#include "tools/common/output.h"
#include "tools/common/summary.h"
#include "tools/replay/chunk.h"
#include "tools/replay/chunk_worker.h"
#include "tools/replay/input.h"
#include "tools/replay/options.h"

namespace replay {

class ChunkedReplay {
public:
    // Written chunks are counted into writer's tally, and their input errors into inputErrors().
    ChunkedReplay(const PluginLibrary& plugin, const Options& options, tools::EventWriter& writer,
                  tools::Tally& tally, tools::Progress& progress);
    ChunkedReplay(const ChunkedReplay&) = delete;
    ChunkedReplay& operator=(const ChunkedReplay&) = delete;
    // Stops the workers; their codecs are shut down and destroyed.
    ~ChunkedReplay();

    // One codec per worker (each takes its own copy of config), then the workers' threads.
    bool open(vlm_data_t& config, std::string& reason);
    // Reads one input ("-" is standard input); after a failed write, nothing more.
    void replay(const std::string& path);
    // Writes every chunk still in flight. Throws std::bad_alloc when a worker ran out of memory.
    void finish();

    uint64_t inputErrors() const { return inputErrors_; }

private:
    void submitNote(const std::string& name, const std::function<void(InputErrors&)>& report);
    void submit(std::unique_ptr<Chunk> chunk);
    // Writes the finished chunks at the front; with wait, first waits for the front one.
    void writeFinished(bool wait);
    void write(const Chunk& chunk);
    void work(ChunkWorker& worker);

    const Options& options_;
    tools::EventWriter& writer_;
    tools::Tally& tally_;
    tools::Progress& progress_;
    uint64_t inputErrors_ = 0;
    std::vector<std::unique_ptr<ChunkWorker>> workers_;
    std::vector<std::thread> threads_;

    std::mutex lock_;
    std::condition_variable workWaiting_;
    std::condition_variable chunkFinished_;
    std::deque<Chunk*> toConvert_;
    std::deque<std::unique_ptr<Chunk>> inOrder_; // every chunk not yet written
    bool stopping_ = false;
};

} // namespace replay
