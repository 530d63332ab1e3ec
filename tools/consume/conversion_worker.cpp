#include "tools/consume/conversion_worker.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tools/common/batch.h"
#include "tools/common/log_text.h"
#include "tools/common/texts.h"
#include "tools/consume/consume_texts.h"

namespace consume {

namespace {

constexpr const char* captureSeparator = "---\n";
constexpr size_t captureWriteBytes = 1 << 20;

struct FrameParts {
    std::vector<std::string> header;
    std::string body;
    bool hasBody = false;
};

// Header lines up to the first blank one, then the body; line ends may be "\n" or "\r\n".
FrameParts splitFrame(const std::string& text)
{
    FrameParts parts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        if (line.find_first_not_of(" \t") == std::string::npos) {
            parts.hasBody = true;
            if (start < text.size())
                parts.body = text.substr(start);
            return parts;
        }
        parts.header.push_back(std::move(line));
    }
    return parts;
}

std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

void countName(CountsByName& counts, const std::string& name)
{
    for (auto& [known, count] : counts) {
        if (known == name) {
            ++count;
            return;
        }
    }
    counts.emplace_back(name, 1);
}

ConversionWorker::ConversionWorker(const std::vector<std::string>& actions, size_t batchSize,
                                   tools::CodecSession& codec, tools::EventWriter& writer,
                                   tools::EventOutput& output, tools::Tally& tally,
                                   ConsumeTally& consumeTally, CaptureFile& capture)
    : actions_(actions), batchSize_(batchSize), codec_(codec), writer_(writer), output_(output),
      tally_(tally), consumeTally_(consumeTally), capture_(capture), progress_(::isatty(STDERR_FILENO) != 0),
      thread_([this] { run(); })
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
        done(process(group));
    }
}

// The codec sees batches of --batch messages however large the group, as replay's do; the group is
// committed once, so a sync covers every batch in it.
BatchOutcome ConversionWorker::process(const FrameBatch& group)
{
    capture(group);
    BatchOutcome outcome;
    outcome.acknowledgements.reserve(group.size());
    tools::Batch messages(batchSize_);
    std::string reason;
    for (const ReceivedFrame& frame : group) {
        const FrameParts parts = splitFrame(frame.text);
        const std::string identifier = parts.header.empty() ? firstLine(frame.text) : parts.header.front();
        outcome.acknowledgements.push_back({frame.connection, identifier});
        if (parts.hasBody && parts.header.size() > tools::actionLine &&
            std::find(actions_.begin(), actions_.end(), parts.header[tools::actionLine]) == actions_.end()) {
            countName(consumeTally_.skippedByAction, parts.header[tools::actionLine]);
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
        ++consumeTally_.frameErrors;
        std::fprintf(stderr, "%s: %s%s: %s\n", texts::toolName, texts::frameLabel,
                     tools::escapedForLog(identifier).c_str(), tools::escapedForLog(reason).c_str());
    }
    messages.sendThrough(codec_);
    progress_.update(tally_);
    bool durable = false;
    outcome.writeError = commitOutput(durable);
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
        consumeTally_.commitTime += std::chrono::steady_clock::now() - started;
        ++consumeTally_.commits;
        durable = commit == tools::EventOutput::Commit::Durable;
        if (commit == tools::EventOutput::Commit::Failed)
            error = output_.failure();
    }
    if (error != 0)
        ++consumeTally_.outputWriteErrors;
    return error;
}

void ConversionWorker::capture(const FrameBatch& group)
{
    if (!capture_.enabled())
        return;
    captured_.clear();
    for (const ReceivedFrame& frame : group) {
        captured_ += frame.text;
        if (frame.text.empty() || frame.text.back() != '\n')
            captured_ += '\n';
        captured_ += captureSeparator;
        // Whole frames in each write, but no copy of a whole group of large frames.
        if (captured_.size() >= captureWriteBytes) {
            capture_.write(captured_);
            captured_.clear();
        }
    }
    capture_.write(captured_);
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
