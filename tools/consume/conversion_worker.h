// The thread that converts: it takes one batch of received frames at a time,
// hands the convertible ones to the codec, and, once the events are written,
// returns the identifiers to acknowledge. Frames that can never convert (an
// action not asked for, an unreadable frame) are acknowledged too, so that the
// service does not redeliver them forever.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/common/codec_session.h"
#include "tools/common/frame.h"
#include "tools/common/output.h"
#include "tools/common/summary.h"
#include "tools/consume/consume_tally.h"

namespace consume {

struct ReceivedFrame {
    uint64_t connection; // acknowledgements go back on the connection that delivered the frame
    std::string text;
};
using FrameBatch = std::vector<ReceivedFrame>;

struct Acknowledgement {
    uint64_t connection;
    std::string identifier;
};

struct BatchOutcome {
    std::vector<Acknowledgement> acknowledgements;
    int writeError = 0; // errno of a failed output: nothing of the batch is acknowledged
};

class ConversionWorker {
public:
    using Done = std::function<void(BatchOutcome)>;

    ConversionWorker(const std::vector<std::string>& actions, tools::CodecSession& codec,
                     tools::EventWriter& writer, tools::Tally& tally, ConsumeTally& consumeTally,
                     std::FILE* capture);
    ConversionWorker(const ConversionWorker&) = delete;
    ConversionWorker& operator=(const ConversionWorker&) = delete;
    ~ConversionWorker() { stop(); }

    // One batch at a time: the next only after done was called (on the worker thread) for this one.
    void convert(FrameBatch batch, Done done);
    // Finishes the batch in hand, then ends the thread.
    void stop();

private:
    void run();
    BatchOutcome process(const FrameBatch& batch);
    void capture(const FrameBatch& batch);

    const std::vector<std::string>& actions_;
    tools::CodecSession& codec_;
    tools::EventWriter& writer_;
    tools::Tally& tally_;
    ConsumeTally& consumeTally_;
    std::FILE* capture_;
    tools::FrameConverter converter_;
    tools::Progress progress_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::pair<FrameBatch, Done>> next_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace consume
