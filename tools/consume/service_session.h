// The consumer's session with the service: it connects (again and again, with
// backoff), gathers frames for the conversion worker, and sends back the
// acknowledgements the worker returns, on the connection that delivered each frame.
// The connection's life is a Phase; every change of phase goes through enter().
//
// While the worker is busy (converting, or syncing the output), frames gather past one
// batch, and go to it as one group once it is free: one sync then covers many batches,
// so that durable output keeps the rate on a disk that is slow to sync.
//
// What it holds is bounded: frames received but not yet written (groupFrameLimit in the
// worker and as many gathering, and --max-buffered-bytes in all), and acknowledgements not
// yet sent (acknowledgementBudget).
// Past either bound the connection is not read; a service that then takes no acknowledgement
// for two ping intervals is given up on, since reading would never resume.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/common/exit_status.h"
#include "tools/consume/connection.h"
#include "tools/consume/connection_phase.h"
#include "tools/consume/consume_options.h"
#include "tools/consume/consume_tally.h"
#include "tools/consume/conversion_worker.h"
#include "tools/consume/event_loop.h"
#include "tools/consume/reconnect_backoff.h"
#include "tools/consume/service_url.h"
#include "tools/consume/token_source.h"

namespace consume {

// A connection that stayed open this long (or delivered a frame) has proved the service healthy, and the
// backoff starts again from firstBackoff; one that is closed sooner does not reset it.
constexpr Milliseconds provenHealthyAfter{10000};
constexpr Milliseconds closeGrace{2000};
// How long a stop waits for the output to take the group in hand (a broker that is away may never take
// it) before asking the output to give it up; a second stop asks at once.
constexpr Milliseconds drainGrace{10000};

// Frames that gather for the worker while it is busy: a group of this many batches at most.
constexpr size_t batchesPerGroup = 32;
size_t groupFrameLimit(const Options& options);
// Acknowledgements waiting to be sent beyond which the connection is not read: two groups' worth.
size_t acknowledgementBudget(const Options& options);

class ServiceSession : public ConnectionEvents {
public:
    using Convert = std::function<void(FrameBatch, ConversionWorker::Done)>;
    using Log = std::function<void(const std::string&)>;

    struct Parts {
        EventLoop& loop;
        ConnectionFactory connect;
        TokenSource& tokens;
        Convert convert; // hands a group to the worker; its done may be called on any thread
        Log log;         // one line, without the tool's name or a line end
        std::function<void(Phase)> phaseEntered; // may be empty
        // Asks the worker's output to stop waiting: the group in hand then ends unacknowledged. May be empty.
        std::function<void()> giveUpGroup;
    };

    ServiceSession(const Options& options, const ServiceUrl& url, Parts parts, ConsumeTally& tally);
    ServiceSession(const ServiceSession&) = delete;
    ServiceSession& operator=(const ServiceSession&) = delete;

    // Reads the first token, then connects.
    void start();
    // Stops reading, writes and acknowledges what was received, closes, then stops the loop. The exit
    // status is the highest asked for.
    void stop(int status);

    Phase phase() const { return phase_; }
    int status() const { return status_; }

    void opened(uint64_t id) override;
    void refused(uint64_t id, unsigned status) override;
    void failed(uint64_t id, EndCause cause) override;
    bool frameArrived(uint64_t id, std::string_view text) override;
    bool frameTooLarge(uint64_t id, std::string identifier, uint64_t size) override;
    void acknowledgementsSent(uint64_t id, size_t count) override;
    void closed(uint64_t id) override;

private:
    void enter(Phase next);
    void fetchToken();
    void tokenRead(TokenReading reading);
    void openConnection();
    bool endConnection(uint64_t id);
    void dropConnection();
    void backOff(const EndCause& cause);
    void reconnect();
    void fatal(int status, const std::string& reason);
    void giveUpGroupInHand();
    void finishWhenIdle();
    void finish();

    bool current(uint64_t id) const { return id != 0 && id == connectionId_; }
    bool mayRead() const;
    void resumeIfAllowed();
    void startBatchTimer();
    void handOver();
    void batchDone(BatchOutcome outcome);
    void acknowledge(const std::string& identifier);
    void watchAcknowledgements();
    void showHeld();

    const Options& options_;
    const ServiceUrl& url_;
    Parts parts_;
    ConsumeTally& tally_;
    std::unique_ptr<Timer> reconnectTimer_;
    std::unique_ptr<Timer> batchTimer_;
    std::unique_ptr<Timer> closeTimer_;
    std::unique_ptr<Timer> drainTimer_;
    std::unique_ptr<Timer> acknowledgementTimer_;

    Phase phase_ = Phase::Connecting;
    int status_ = exitStopped;

    // The connection: at most one, the current one's number, and what it proved.
    std::shared_ptr<Connection> connection_;
    uint64_t connectionId_ = 0; // 0 while there is none
    uint64_t lastId_ = 0;
    bool connectionOpen_ = false; // upgraded, and not yet given up
    bool provedHealthy_ = false;
    std::chrono::steady_clock::time_point openedAt_{};
    ReconnectBackoff backoff_;

    // The token: the last one that was read, and the reading in progress.
    std::string token_;
    bool tokenPending_ = false;
    uint64_t tokenReading_ = 0; // stale results of a cancelled reading are recognised by this
    std::string refusedToken_;  // not empty: the service refused this one, and a fresh one is awaited
    bool refusedOnce_ = false;

    // What is held: the frames gathering, the group in the worker, acknowledgements not yet sent.
    FrameBatch filling_;
    // The last group the worker handed back: its storage, kept for the next group rather than freed on the
    // worker's thread. It holds no frame, and at most a batch's share of --max-buffered-bytes.
    FrameBatch spare_;
    uint64_t workerBytes_ = 0;
    bool workerBusy_ = false;
    bool batchDue_ = false;
    size_t unsentAcknowledgements_ = 0;
    bool acknowledgementsWatched_ = false;
    bool closeAsked_ = false;
    bool groupGivenUp_ = false;
};

} // namespace consume
