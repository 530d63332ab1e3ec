// The thread that converts: it takes one batch of received frames at a time,
// hands the convertible ones to the codec, and, once the output holds the events
// durably, returns the identifiers to acknowledge. Frames that can never convert
// (an action not asked for, an unreadable frame) are acknowledged too, so that the
// service does not redeliver them forever.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/common/codec_session.h"
#include "tools/common/event_output.h"
#include "tools/common/frame.h"
#include "tools/common/output.h"
#include "tools/common/summary.h"
#include "tools/consume/capture_file.h"
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

    // The codec is wired towards the host to writer, which writes to output.
    ConversionWorker(const std::vector<std::string>& actions, tools::CodecSession& codec,
                     tools::EventWriter& writer, tools::EventOutput& output, tools::Tally& tally,
                     ConsumeTally& consumeTally, CaptureFile& capture);
    ConversionWorker(const ConversionWorker&) = delete;
    ConversionWorker& operator=(const ConversionWorker&) = delete;
    ~ConversionWorker() { stop(); }

    // One batch at a time: the next only after done was called (on the worker thread) for this one.
    void convert(FrameBatch batch, Done done);
    // Finishes the batch in hand, then ends the thread.
    void stop();
    // From any thread (SIGHUP): the output and the capture are opened again at their paths before
    // the next batch is written, as a log rotation wants.
    void requestReopen();

private:
    void run();
    BatchOutcome process(const FrameBatch& batch);
    void capture(const FrameBatch& batch);
    void publishConversion();
    // 0 once the output holds every event written for the batch; errno when it failed.
    int commitOutput(bool& durable);
    void reopenFiles();

    const std::vector<std::string>& actions_;
    tools::CodecSession& codec_;
    tools::EventWriter& writer_;
    tools::EventOutput& output_;
    tools::Tally& tally_;
    ConsumeTally& consumeTally_;
    ConsumeMetrics& metrics_;
    CaptureFile& capture_;
    std::string captured_; // the batch's frames in the frames format, kept from batch to batch
    tools::FrameConverter converter_;
    tools::Progress progress_;
    std::vector<uint64_t> publishedByType_; // the tally's events by type, as far as the metrics have them

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::pair<FrameBatch, Done>> next_;
    bool stopping_ = false;
    bool reopenAsked_ = false;
    std::thread thread_;
};

} // namespace consume
