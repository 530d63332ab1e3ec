// The thread that converts: it takes one group of received frames at a time (what
// gathered while it was busy), hands the convertible ones to the codec in batches of
// --batch, and, once the output holds the events durably (one commit, so one sync,
// per group), returns the identifiers to acknowledge. Frames that can never convert
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
#include "tools/consume/frame_batch.h"

namespace consume {

struct Acknowledgement {
    uint64_t connection;
    std::string identifier;
};

struct BatchOutcome {
    std::vector<Acknowledgement> acknowledgements;
    // What the log says of a failed output, empty while it works; failed, nothing of the group is
    // acknowledged.
    std::string writeFailure;
    FrameBatch emptied; // the group's storage, for the reading thread to fill again
};

class ConversionWorker {
public:
    using Done = std::function<void(BatchOutcome)>;

    // The codec is wired towards the host to writer, which writes to output.
    ConversionWorker(const std::vector<std::string>& actions, size_t batchSize, tools::CodecSession& codec,
                     tools::EventWriter& writer, tools::EventOutput& output, tools::Tally& tally,
                     ConsumeTally& consumeTally, CaptureFile& capture);
    ConversionWorker(const ConversionWorker&) = delete;
    ConversionWorker& operator=(const ConversionWorker&) = delete;
    ~ConversionWorker() { stop(); }

    // One group at a time: the next only after done was called (on the worker thread) for this one.
    void convert(FrameBatch group, Done done);
    // Finishes the group in hand, then ends the thread.
    void stop();
    // From any thread: an output that waits (for a broker) stops waiting, so the group in hand ends
    // unacknowledged, as does every group after it.
    void giveUpGroup() { output_.requestStop(); }
    // From any thread (SIGHUP): the output and the capture are opened again at their paths before
    // the next group is written, as a log rotation wants.
    void requestReopen();

private:
    void run();
    BatchOutcome process(const FrameBatch& group);
    void capture(const FrameBatch& group);
    void publishConversion();
    // 0 once the output holds every event written for the group; errno when it failed.
    int commitOutput(bool& durable);
    void reopenFiles();

    const std::vector<std::string>& actions_;
    const size_t batchSize_;
    tools::CodecSession& codec_;
    tools::EventWriter& writer_;
    tools::EventOutput& output_;
    tools::Tally& tally_;
    ConsumeTally& consumeTally_;
    ConsumeMetrics& metrics_;
    CaptureFile& capture_;
    std::string captured_; // the group's frames in the frames format, kept from group to group
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
