#include "tools/replay/chunked_replay.h"

#include <utility>

#include "tools/replay/chunk_cutter.h"
#include "tools/replay/held_stderr.h"

namespace replay {

ChunkedReplay::ChunkedReplay(const PluginLibrary& plugin, const Options& options, tools::EventWriter& writer,
                             tools::Tally& tally, tools::Progress& progress)
    : options_(options), writer_(writer), tally_(tally), progress_(progress)
{
    for (size_t i = 0; i < options.jobs; ++i)
        workers_.push_back(std::make_unique<ChunkWorker>(plugin, options));
}

ChunkedReplay::~ChunkedReplay()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        toConvert_.clear();
    }
    workWaiting_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

bool ChunkedReplay::open(vlm_data_t& config, std::string& reason)
{
    for (const std::unique_ptr<ChunkWorker>& worker : workers_) {
        if (!worker->open(config, reason))
            return false;
    }
    routeStderrByThread();
    for (const std::unique_ptr<ChunkWorker>& worker : workers_)
        threads_.emplace_back([this, &worker = *worker] { work(worker); });
    return true;
}

void ChunkedReplay::replay(const std::string& path)
{
    if (writer_.writeError() != 0)
        return;
    InputSource source;
    std::string reason;
    if (!source.open(path, options_.maxRecordBytes, tools::ReadLimits{options_.maxObjectEntries}, reason)) {
        submitNote(path, [&](InputErrors& errors) { errors.reportInput(path, reason); });
        return;
    }
    source.cutIntoChunks(options_.format);
    ChunkCutter cutter(source, options_.format);
    // A failed write stops the reading: an endless input would otherwise run on for nothing.
    while (writer_.writeError() == 0) {
        std::unique_ptr<Chunk> chunk = cutter.next();
        if (chunk == nullptr)
            break;
        submit(std::move(chunk));
    }
    submitNote(source.name(), [&](InputErrors& errors) { source.finish(errors); });
}

void ChunkedReplay::finish()
{
    while (!inOrder_.empty())
        writeFinished(true);
}

void ChunkedReplay::submitNote(const std::string& name, const std::function<void(InputErrors&)>& report)
{
    auto chunk = std::make_unique<Chunk>();
    chunk->name = name;
    chunk->toConvert = false;
    InputErrors errors;
    {
        HeldStderr hold(chunk->output.held);
        report(errors);
    }
    chunk->output.inputErrors = errors.count();
    chunk->finished = true;
    submit(std::move(chunk));
}

void ChunkedReplay::submit(std::unique_ptr<Chunk> chunk)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (chunk->toConvert)
            toConvert_.push_back(chunk.get());
        inOrder_.push_back(std::move(chunk));
    }
    workWaiting_.notify_one();
    // Enough chunks in flight to keep every worker busy while the front one is written.
    const size_t inFlightLimit = 2 * workers_.size() + 2;
    writeFinished(false);
    while (inOrder_.size() >= inFlightLimit)
        writeFinished(true);
}

void ChunkedReplay::writeFinished(bool wait)
{
    while (!inOrder_.empty()) {
        std::unique_ptr<Chunk> front;
        {
            std::unique_lock<std::mutex> guard(lock_);
            if (wait)
                chunkFinished_.wait(guard, [this] { return inOrder_.front()->finished; });
            if (!inOrder_.front()->finished)
                return;
            front = std::move(inOrder_.front());
            inOrder_.pop_front();
        }
        wait = false;
        if (front->failure)
            std::rethrow_exception(front->failure);
        write(*front);
    }
}

void ChunkedReplay::write(const Chunk& chunk)
{
    if (chunk.output.writeTo(writer_, tally_))
        inputErrors_ += chunk.output.inputErrors;
    progress_.update(tally_);
}

void ChunkedReplay::work(ChunkWorker& worker)
{
    for (;;) {
        Chunk* chunk = nullptr;
        {
            std::unique_lock<std::mutex> guard(lock_);
            workWaiting_.wait(guard, [this] { return stopping_ || !toConvert_.empty(); });
            if (toConvert_.empty())
                return;
            chunk = toConvert_.front();
            toConvert_.pop_front();
        }
        try {
            worker.convert(*chunk);
        } catch (...) {
            // Raised on the writer's thread in input order, as a single worker would have raised it.
            chunk->failure = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            chunk->finished = true;
        }
        chunkFinished_.notify_all();
    }
}

} // namespace replay
