#include "tools/consume/service_session.h"

#include <algorithm>
#include <cassert>

#include "tools/common/log_text.h"
#include "tools/consume/consume_texts.h"

namespace consume {

size_t groupFrameLimit(const Options& options)
{
    return batchesPerGroup * options.batchSize;
}

size_t acknowledgementBudget(const Options& options)
{
    return 2 * groupFrameLimit(options);
}

ServiceSession::ServiceSession(const Options& options, const ServiceUrl& url, Parts parts,
                               ConsumeTally& tally)
    : options_(options), url_(url), parts_(std::move(parts)), tally_(tally),
      reconnectTimer_(parts_.loop.timer()), batchTimer_(parts_.loop.timer()),
      closeTimer_(parts_.loop.timer()), drainTimer_(parts_.loop.timer()),
      acknowledgementTimer_(parts_.loop.timer()), backoff_(options.reconnectMax)
{}

void ServiceSession::start()
{
    ++tally_.phaseEntries[static_cast<size_t>(Phase::Connecting)];
    tally_.metrics.connection.enter(Phase::Connecting);
    fetchToken();
}

// Every change of phase passes here, so the log and the summary see each one.
void ServiceSession::enter(Phase next)
{
    assert(phaseMayFollow(phase_, next));
    phase_ = next;
    ++tally_.phaseEntries[static_cast<size_t>(next)];
    tally_.metrics.connection.enter(next);
    if (parts_.phaseEntered)
        parts_.phaseEntered(next);
}

void ServiceSession::fetchToken()
{
    tokenPending_ = true;
    const uint64_t reading = ++tokenReading_;
    parts_.tokens.fetch([this, reading](TokenReading result) {
        parts_.loop.post([this, reading, result = std::move(result)]() mutable {
            if (reading == tokenReading_ && tokenPending_)
                tokenRead(std::move(result));
        });
    });
}

void ServiceSession::tokenRead(TokenReading reading)
{
    tokenPending_ = false;
    if (phase_ != Phase::Connecting)
        return;
    if (!reading.read) {
        if (token_.empty())
            return fatal(exitUsage, texts::noTokenAtStart + reading.reason);
        if (!refusedToken_.empty())
            return fatal(exitTokenRefused, reading.reason);
        parts_.log(reading.reason + texts::keepingLastToken);
    } else if (!refusedToken_.empty() && reading.token == refusedToken_) {
        return fatal(exitTokenRefused, texts::tokenRefusedUnchanged);
    } else {
        token_ = std::move(reading.token);
    }
    refusedToken_.clear();
    openConnection();
}

void ServiceSession::openConnection()
{
    connectionId_ = ++lastId_;
    connectionOpen_ = false;
    provedHealthy_ = false;
    connection_ = parts_.connect(connectionId_, *this);
    connection_->open(targetWithCredentials(url_, token_, options_.consumer));
}

void ServiceSession::opened(uint64_t id)
{
    if (!current(id) || phase_ != Phase::Connecting)
        return;
    connectionOpen_ = true;
    refusedOnce_ = false;
    openedAt_ = parts_.loop.now();
    enter(Phase::Open);
    if (!options_.quiet)
        parts_.log(texts::connected + std::string(url_.tls ? "wss://" : "ws://") +
                   tools::escapedForLog(url_.hostHeader));
}

// The current connection is over: false if nothing follows from it here, as when a stop is under way,
// which this moves on.
bool ServiceSession::endConnection(uint64_t id)
{
    if (!current(id))
        return false;
    dropConnection();
    if (phase_ != Phase::Draining)
        return true;
    closeAsked_ ? finish() : finishWhenIdle();
    return false;
}

void ServiceSession::refused(uint64_t id, unsigned status)
{
    if (!endConnection(id))
        return;
    if (status == 409)
        return backOff({texts::causeBusy, ""});
    if (status != 401 && status != 403)
        return backOff({nullptr, texts::causeHttp + std::to_string(status)});
    tally_.metrics.reconnects.add(texts::causeRefused);
    tally_.metrics.connection.failed(texts::causeRefused);
    if (refusedOnce_)
        return fatal(exitTokenRefused, texts::tokenRefusedAgain);
    // Once: a token rotated by an outside job is read again and tried without waiting.
    refusedOnce_ = true;
    refusedToken_ = token_;
    fetchToken();
}

void ServiceSession::failed(uint64_t id, EndCause cause)
{
    if (endConnection(id))
        backOff(cause);
}

void ServiceSession::dropConnection()
{
    connection_->abandon();
    connection_.reset();
    connectionId_ = 0;
    connectionOpen_ = false;
    // Acknowledgements still queued on it are lost with it: the service delivers those frames again.
    unsentAcknowledgements_ = 0;
    showHeld();
    acknowledgementTimer_->cancel();
    acknowledgementsWatched_ = false;
}

// cause.text null: detail is the cause as well as its own key in the summary.
void ServiceSession::backOff(const EndCause& cause)
{
    const std::string name = cause.text != nullptr ? cause.text : cause.detail;
    tally_.metrics.reconnects.add(name);
    tally_.metrics.connection.failed(name);
    const bool healthy =
        phase_ == Phase::Open && (provedHealthy_ || parts_.loop.now() - openedAt_ >= provenHealthyAfter);
    if (healthy)
        backoff_.reset();
    const Milliseconds delay = backoff_.next();
    enter(Phase::Backoff);
    if (!options_.quiet) {
        const bool detailed = cause.text != nullptr && !cause.detail.empty();
        parts_.log(name + (detailed ? ": " + tools::escapedForLog(cause.detail) : "") + "; " +
                   texts::reconnecting + tools::secondsText(delay));
    }
    reconnectTimer_->start(delay, [this] { reconnect(); });
}

void ServiceSession::reconnect()
{
    enter(Phase::Connecting);
    fetchToken();
}

bool ServiceSession::frameArrived(uint64_t id, std::string_view text)
{
    // Frames that arrive once stopping has begun are left unacknowledged: the service delivers them again.
    if (!current(id) || phase_ != Phase::Open)
        return false;
    tally_.metrics.framesReceived.add();
    provedHealthy_ = true;
    filling_.add(id, text);
    if (filling_.size() == 1)
        startBatchTimer();
    handOver();
    showHeld();
    return mayRead();
}

bool ServiceSession::frameTooLarge(uint64_t id, std::string identifier, uint64_t size)
{
    if (!current(id) || phase_ != Phase::Open)
        return false;
    tally_.metrics.framesReceived.add();
    ++tally_.tooLarge;
    provedHealthy_ = true;
    const std::string shown =
        identifier.empty() ? texts::frameWithoutIdentifier : tools::escapedForLog(identifier);
    parts_.log(texts::frameLabel + shown + ": " + std::to_string(size) + texts::frameTooLarge +
               (identifier.empty() ? texts::frameTooLargeUnacknowledged : texts::frameTooLargeAcknowledged));
    // It yields no event, so there is nothing to make durable before acknowledging it.
    if (!identifier.empty())
        acknowledge(identifier);
    return mayRead();
}

void ServiceSession::acknowledgementsSent(uint64_t id, size_t count)
{
    if (!current(id))
        return;
    tally_.metrics.framesAcknowledged.add(count);
    tally_.metrics.lastAcknowledgement.set(std::chrono::system_clock::now());
    unsentAcknowledgements_ -= std::min(count, unsentAcknowledgements_);
    showHeld();
    resumeIfAllowed();
}

void ServiceSession::closed(uint64_t id)
{
    if (current(id))
        finish();
}

bool ServiceSession::mayRead() const
{
    return filling_.size() < groupFrameLimit(options_) &&
           filling_.bytes() + workerBytes_ < options_.maxBufferedBytes &&
           unsentAcknowledgements_ < acknowledgementBudget(options_);
}

void ServiceSession::resumeIfAllowed()
{
    if (phase_ == Phase::Open && mayRead())
        connection_->resume();
}

void ServiceSession::startBatchTimer()
{
    batchTimer_->start(options_.batchWait, [this] {
        batchDue_ = true;
        handOver();
    });
}

// Everything gathered goes to the worker, once it is free, as one group: when it holds a batch or the byte
// bound, or is due, or is the last. A free worker thus gets single batches, a busy one's backlog waits.
void ServiceSession::handOver()
{
    if (workerBusy_ || filling_.empty())
        return;
    const bool full = filling_.size() >= options_.batchSize || filling_.bytes() >= options_.maxBufferedBytes;
    if (!full && !batchDue_ && phase_ != Phase::Draining)
        return;
    workerBusy_ = true;
    batchDue_ = false;
    batchTimer_->cancel();
    workerBytes_ = filling_.bytes();
    FrameBatch group;
    std::swap(group, filling_);
    std::swap(filling_, spare_);
    parts_.convert(std::move(group), [this](BatchOutcome outcome) {
        parts_.loop.post([this, outcome = std::move(outcome)]() mutable { batchDone(std::move(outcome)); });
    });
    resumeIfAllowed();
}

void ServiceSession::batchDone(BatchOutcome outcome)
{
    workerBusy_ = false;
    workerBytes_ = 0;
    // One grown by a backlog is let go, so that what is kept between groups stays one batch's share.
    if (outcome.emptied.capacityBytes() <= options_.maxBufferedBytes / batchesPerGroup)
        spare_ = std::move(outcome.emptied);
    if (!outcome.writeFailure.empty())
        return fatal(exitOutput, outcome.writeFailure);
    // Acknowledgements owed to a connection that is gone are dropped: the service redelivers those frames.
    for (const Acknowledgement& acknowledgement : outcome.acknowledgements) {
        if (connectionOpen_ && current(acknowledgement.connection))
            acknowledge(acknowledgement.identifier);
    }
    handOver();
    showHeld();
    resumeIfAllowed();
    finishWhenIdle();
}

void ServiceSession::acknowledge(const std::string& identifier)
{
    if (identifier == texts::unsubscribeIdentifier) {
        ++tally_.notAcknowledged;
        parts_.log(texts::frameLabel + identifier + texts::unsubscribeNotSent);
        return;
    }
    ++unsentAcknowledgements_;
    showHeld();
    connection_->send(identifier);
    watchAcknowledgements();
}

// Only while reading waits on the acknowledgement bound, so a flowing stream pays nothing for it.
void ServiceSession::watchAcknowledgements()
{
    if (phase_ != Phase::Open || acknowledgementsWatched_ ||
        unsentAcknowledgements_ < acknowledgementBudget(options_))
        return;
    acknowledgementsWatched_ = true;
    const uint64_t sentBefore = tally_.metrics.framesAcknowledged.value();
    acknowledgementTimer_->start(2 * options_.pingInterval, [this, sentBefore] {
        acknowledgementsWatched_ = false;
        if (tally_.metrics.framesAcknowledged.value() == sentBefore)
            return failed(connectionId_, {texts::causeAcknowledgementsNotRead, ""});
        watchAcknowledgements();
    });
}

void ServiceSession::showHeld()
{
    tally_.metrics.acknowledgementsWaiting.set(static_cast<int64_t>(unsentAcknowledgements_));
    tally_.metrics.bytesInFlight.set(static_cast<int64_t>(filling_.bytes() + workerBytes_));
}

void ServiceSession::stop(int status)
{
    status_ = std::max(status_, status);
    if (phase_ == Phase::Draining)
        return giveUpGroupInHand();
    if (phase_ == Phase::Stopped)
        return;
    enter(Phase::Draining);
    if (!options_.quiet)
        parts_.log(phaseName(Phase::Draining) + std::string(texts::draining));
    reconnectTimer_->cancel();
    if (tokenPending_) {
        tokenPending_ = false;
        parts_.tokens.cancel();
    }
    handOver();
    if (workerBusy_)
        drainTimer_->start(drainGrace, [this] { giveUpGroupInHand(); });
    finishWhenIdle();
}

// Nothing is lost by it: what is not acknowledged, the service delivers again.
void ServiceSession::giveUpGroupInHand()
{
    if (!workerBusy_ || groupGivenUp_ || !parts_.giveUpGroup)
        return;
    groupGivenUp_ = true;
    parts_.log(phaseName(Phase::Draining) + std::string(texts::givingUpGroup));
    parts_.giveUpGroup();
}

void ServiceSession::fatal(int status, const std::string& reason)
{
    parts_.log(reason);
    filling_.clear(); // not acknowledged, so delivered again to whoever consumes next
    stop(status);
}

// Once every received frame is written and acknowledged, the connection closes normally. The worker is
// idle before the loop may stop, so no batch is left half done.
void ServiceSession::finishWhenIdle()
{
    if (phase_ != Phase::Draining || workerBusy_ || !filling_.empty() || closeAsked_)
        return;
    closeAsked_ = true;
    batchTimer_->cancel();
    if (!connectionOpen_)
        return finish();
    connection_->close();
    closeTimer_->start(closeGrace, [this] { finish(); });
}

void ServiceSession::finish()
{
    if (phase_ == Phase::Stopped)
        return;
    if (connection_ != nullptr)
        dropConnection();
    closeTimer_->cancel();
    drainTimer_->cancel();
    enter(Phase::Stopped);
    parts_.loop.stop();
}

} // namespace consume
