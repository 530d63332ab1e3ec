#include "tools/consume/conversion_worker.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tools/common/batch.h"
#include "tools/common/frame_text.h"
#include "tools/common/log_text.h"
#include "tools/common/texts.h"
#include "tools/consume/consume_texts.h"

namespace consume {

namespace {

constexpr size_t captureWriteBytes = 1 << 20;

} // namespace

ConversionWorker::ConversionWorker(const std::vector<std::string>& actions, size_t batchSize,
                                   tools::CodecSession& codec, tools::EventWriter& writer,
                                   tools::EventOutput& output, tools::Tally& tally,
                                   ConsumeTally& consumeTally, CaptureFile& capture)
    : actions_(actions), batchSize_(batchSize), codec_(codec), writer_(writer), output_(output),
      tally_(tally), consumeTally_(consumeTally), metrics_(consumeTally.metrics), capture_(capture),
      progress_(::isatty(STDERR_FILENO) != 0), thread_([this] { run(); })
{}

void ConversionWorker::convert(FrameBatch group, Done done)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        next_.emplace(std::move(group), std::move(done));
    }
    wake_.notify_one();
}

void ConversionWorker::requestReopen()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        reopenAsked_ = true;
    }
    wake_.notify_one();
}

void ConversionWorker::stop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    // By now the service side has given up on the group in hand, if any: an output that waits
    // for a broker must not keep the tool from ending.
    output_.requestStop();
    if (thread_.joinable())
        thread_.join();
    progress_.finish();
}

void ConversionWorker::run()
{
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return next_.has_value() || stopping_ || reopenAsked_; });
        // Before a group that waits: the group after a rotation goes to the new file.
        if (reopenAsked_) {
            reopenAsked_ = false;
            lock.unlock();
            reopenFiles();
            continue;
        }
        if (!next_)
            return;
        auto [group, done] = std::move(*next_);
        next_.reset();
        lock.unlock();
        BatchOutcome outcome = process(group);
        group.clear();
        outcome.emptied = std::move(group);
        done(std::move(outcome));
    }
}

// The codec sees batches of --batch messages however large the group, as replay's do; the group is
// committed once, so a sync covers every batch in it.
BatchOutcome ConversionWorker::process(const FrameBatch& group)
{
    const auto started = std::chrono::steady_clock::now();
    capture(group);
    BatchOutcome outcome;
    outcome.acknowledgements.reserve(group.size());
    tools::Batch messages(batchSize_);
    std::string reason;
    for (size_t index = 0; index < group.size(); ++index) {
        const FrameBatch::Frame frame = group[index];
        const tools::FrameText parts = tools::splitFrame(frame.text);
        const std::string identifier =
            parts.header.empty() ? std::string(tools::firstLine(frame.text)) : parts.header.front();
        outcome.acknowledgements.push_back({frame.connection, identifier});
        if (parts.hasBody && parts.header.size() > tools::actionLine &&
            std::find(actions_.begin(), actions_.end(), parts.header[tools::actionLine]) == actions_.end()) {
            metrics_.framesSkipped.add(parts.header[tools::actionLine]);
            continue;
        }
        vlm_message_t message{};
        tools::FramePart fault = tools::FramePart::Header;
        if (!parts.hasBody)
            reason = tools::texts::frameWithoutBody;
        if (parts.hasBody && converter_.toMessage(parts.header, parts.body, false, message, fault, reason)) {
            ++tally_.read;
            messages.add(message);
            if (messages.full())
                messages.sendThrough(codec_);
            continue;
        }
        metrics_.frameErrors.add();
        std::fprintf(stderr, "%s: %s%s: %s\n", texts::toolName, texts::frameLabel,
                     tools::escapedForLog(identifier).c_str(), tools::escapedForLog(reason).c_str());
    }
    messages.sendThrough(codec_);
    publishConversion();
    metrics_.batchConversion.observe(std::chrono::steady_clock::now() - started);
    progress_.update(tally_);
    bool durable = false;
    if (commitOutput(durable) != 0)
        outcome.writeFailure = output_.failureText();
    if (!durable)
        outcome.acknowledgements.clear();
    return outcome;
}

int ConversionWorker::commitOutput(bool& durable)
{
    int error = writer_.writeError();
    if (error == 0) {
        const auto started = std::chrono::steady_clock::now();
        const tools::EventOutput::Commit commit = output_.commit();
        metrics_.outputSync.observe(std::chrono::steady_clock::now() - started);
        durable = commit == tools::EventOutput::Commit::Durable;
        if (commit == tools::EventOutput::Commit::Failed)
            error = output_.failure();
    }
    if (error != 0)
        metrics_.outputWriteErrors.add();
    return error;
}

// The page counts what the summary's tally counts, from the same writer, as each group ends.
void ConversionWorker::publishConversion()
{
    size_t index = 0;
    for (const auto& [type, count] : tally_.eventsByType) {
        if (index == publishedByType_.size())
            publishedByType_.push_back(0);
        metrics_.eventsWritten.add(type, count - publishedByType_[index]);
        publishedByType_[index++] = count;
    }
    metrics_.passedThrough.add(tally_.passedThrough - metrics_.passedThrough.value());
    metrics_.droppedByCodec.add(tally_.dropped() - metrics_.droppedByCodec.value());
}

void ConversionWorker::capture(const FrameBatch& group)
{
    if (!capture_.enabled())
        return;
    const uint64_t errorsBefore = capture_.writeErrors();
    captured_.clear();
    for (size_t index = 0; index < group.size(); ++index) {
        tools::appendFrameToFile(captured_, group[index].text);
        // Whole frames in each write, but no copy of a whole group of large frames.
        if (captured_.size() >= captureWriteBytes) {
            capture_.write(captured_);
            captured_.clear();
        }
    }
    capture_.write(captured_);
    metrics_.captureWriteErrors.add(capture_.writeErrors() - errorsBefore);
}

void ConversionWorker::reopenFiles()
{
    std::string reason;
    if (output_.reopen(reason))
        ++consumeTally_.outputReopens;
    else
        std::fprintf(stderr, "%s: %s%s\n", texts::toolName, texts::cannotReopenOutput, reason.c_str());
    if (!capture_.reopen(reason))
        std::fprintf(stderr, "%s: %s%s\n", texts::toolName, texts::cannotReopenCapture, reason.c_str());
}

} // namespace consume
