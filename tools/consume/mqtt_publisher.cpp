#include "tools/consume/mqtt_publisher.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/consume/mqtt_texts.h"

namespace consume {

namespace {

// Events handed to the client and not yet acknowledged. Far below 65535, so that the
// client's message ids, which wrap there, never name two of them at once.
constexpr int handOverWindow = 256;
// What a PUBLISH holds beside topic and payload: the topic's length, the packet id and
// an empty property list, with room to spare.
constexpr size_t packetOverhead = 16;
// The longest the network thread sleeps, so that keepalive pings go out in time.
constexpr int longestPollMs = 1000;
// Without a session expiry, MQTT 5 ends the session with the connection. A day covers
// any outage the tool waits out, and a broker forgets a consumer that is gone for good.
constexpr int sessionExpirySeconds = 24 * 3600;

// Sets up the client library once per process; it is never torn down, since other
// publishers may live on.
void initialiseLibrary()
{
    static const int once = mosquitto_lib_init();
    (void)once;
}

bool readPassword(const std::string& path, std::string& password, std::string& reason)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (file)
        text << file.rdbuf();
    if (!file || file.bad()) {
        reason = mqtt_texts::cannotReadPassword + path + ": " + std::strerror(errno);
        return false;
    }
    password = text.str();
    // A file written with echo ends in a newline that is no part of the password.
    if (!password.empty() && password.back() == '\n')
        password.pop_back();
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return true;
}

// What the client reported when a connection ended, as a reconnect cause.
const char* causeOf(int code, bool sessionWasUp)
{
    switch (code) {
    case MOSQ_ERR_TLS:
        return mqtt_texts::causeTls;
    case MOSQ_ERR_KEEPALIVE:
        return mqtt_texts::causeNoPingAnswer;
    case MOSQ_ERR_CONN_REFUSED:
        return mqtt_texts::causeRefused;
    default:
        return sessionWasUp ? mqtt_texts::causeLost : mqtt_texts::causeConnectFailed;
    }
}

std::string detailOf(int code)
{
    if (code == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(code);
}

} // namespace

std::string mqttClientId(const std::string& consumer)
{
    if (!consumer.empty())
        return consumer;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return std::string("tessaro-consume-") + host;
}

MqttPublisher::MqttPublisher(MqttSettings settings, BrokerMetrics& metrics)
    : settings_(std::move(settings)), metrics_(metrics), backoff_(settings_.reconnectMax)
{
    if (settings_.qos < 0 || settings_.qos > 2)
        throw std::runtime_error(mqtt_texts::badQos + std::to_string(settings_.qos));
    if (!settings_.passwordFile.empty()) {
        std::string password;
        std::string reason;
        if (settings_.target.user.empty())
            throw std::runtime_error(mqtt_texts::passwordWithoutUser);
        if (!readPassword(settings_.passwordFile, password, reason))
            throw std::runtime_error(reason);
    }
    initialiseLibrary();
    // clean session off: the broker keeps the session, and the client resends under it
    // whatever was in flight when a connection ended.
    client_ = mosquitto_new(settings_.clientId.c_str(), false, this);
    if (client_ == nullptr)
        throw std::runtime_error(std::string(mqtt_texts::clientFailed) + std::strerror(errno));
    // Only the network thread calls the client, but publishes must wait for its writes
    // instead of being written from inside mosquitto_publish before their id is recorded.
    mosquitto_threaded_set(client_, true);
    mosquitto_int_option(client_, MOSQ_OPT_SEND_MAXIMUM, handOverWindow);
    // Acknowledgements are small and a batch waits for the last of them: Nagle's delay
    // would hold each one back.
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    // MQTT 5, so that the broker's receive maximum limits what is in flight: a version 3
    // broker past its own limit acknowledges a QoS 2 message and drops it. Its reason
    // codes also tell a refused message from one the broker holds.
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(client_, &MqttPublisher::onConnect);
    mosquitto_publish_v5_callback_set(client_, &MqttPublisher::onPublish);
    if (settings_.target.tls) {
        // The system's authorities are OpenSSL's default folder (Debian's /etc/ssl/certs).
        const int code =
            settings_.caFile.empty()
                ? mosquitto_tls_set(client_, nullptr, X509_get_default_cert_dir(), nullptr, nullptr, nullptr)
                : mosquitto_tls_set(client_, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (code != MOSQ_ERR_SUCCESS) {
            mosquitto_destroy(client_);
            throw std::runtime_error(std::string(mqtt_texts::cannotUseCa) + settings_.caFile + ": " +
                                     mosquitto_strerror(code));
        }
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        mosquitto_destroy(client_);
        throw std::runtime_error(std::string(mqtt_texts::clientFailed) + std::strerror(errno));
    }
    network_ = std::thread([this] { run(); });
}

MqttPublisher::~MqttPublisher()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        stopRequested_ = true;
    }
    changed_.notify_all();
    wake();
    network_.join();
    mosquitto_destroy(client_);
    ::close(wakeFd_);
}

uint64_t MqttPublisher::publish(std::string_view channel, std::string_view payload, std::string& error)
{
    std::string topic = topicOf(settings_.target.prefix, channel);
    if (mosquitto_pub_topic_check2(topic.data(), topic.size()) != MOSQ_ERR_SUCCESS ||
        mosquitto_validate_utf8(topic.data(), static_cast<int>(topic.size())) != MOSQ_ERR_SUCCESS) {
        error = mqtt_texts::badTopic + std::string(channel);
        return 0;
    }
    if (payload.size() > MQTT_MAX_PAYLOAD - topic.size() - packetOverhead) {
        error = mqtt_texts::eventTooLarge + std::to_string(payload.size()) + mqtt_texts::bytesOnTopic + topic;
        return 0;
    }
    uint64_t ticket = 0;
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ticket = nextTicket_++;
        first = pending_.empty();
        pending_.push_back(Pending{std::move(topic), std::string(payload), ticket});
        done_.push_back(false);
        metrics_.publishes.add();
        metrics_.inFlight.add(1);
    }
    // The network thread takes every waiting event once woken, and events still waiting
    // are waiting for an acknowledgement or a connection, which wake it in turn.
    if (first)
        wake();
    return ticket;
}

MqttStatus MqttPublisher::waitDurable(uint64_t ticket)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto awaited = awaited_.insert(ticket);
    MqttStatus status = MqttStatus::Durable;
    for (;;) {
        if (firstOpen_ > ticket)
            break;
        status = end_;
        if (status != MqttStatus::Durable)
            break;
        status = MqttStatus::Stopped;
        if (stopRequested_)
            break;
        status = MqttStatus::Durable;
        changed_.wait(lock);
    }
    awaited_.erase(awaited);
    return status;
}

MqttStatus MqttPublisher::waitDurable()
{
    uint64_t last = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last = nextTicket_ - 1;
    }
    return waitDurable(last);
}

void MqttPublisher::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
    }
    changed_.notify_all();
}

std::string MqttPublisher::failure() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

void MqttPublisher::wake()
{
    const uint64_t one = 1;
    // A full counter already wakes the thread, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

bool MqttPublisher::quitting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return quit_;
}

// The one loop that drives the client: connect, hand over, read, write, keep alive,
// and after a lost connection wait out the backoff before the next attempt.
void MqttPublisher::run()
{
    bool connected = false;
    bool first = true;
    while (!quitting()) {
        bool ended = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended = end_ != MqttStatus::Durable;
        }
        if (!connected && !ended && Clock::now() >= nextAttempt_) {
            connected = connect(first);
            first = false;
        }
        if (sessionUp_)
            handOver();

        pollfd waits[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
        const int socket = mosquitto_socket(client_);
        if (connected && socket >= 0)
            waits[1] = {socket, static_cast<short>(POLLIN | (writeDue() ? POLLOUT : 0)), 0};
        int timeout = longestPollMs;
        if (!connected && !ended) {
            const auto untilAttempt =
                std::chrono::duration_cast<std::chrono::milliseconds>(nextAttempt_ - Clock::now()).count();
            timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(untilAttempt, timeout)));
        }
        if (::poll(waits, waits[1].fd >= 0 ? 2 : 1, timeout) < 0 && errno != EINTR)
            break;
        if ((waits[0].revents & POLLIN) != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
        }
        if (!connected)
            continue;
        int code = MOSQ_ERR_SUCCESS;
        const bool readable = (waits[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        if (readable) {
            // The client stops reading after one packet when errno still says EAGAIN
            // from an earlier call, whatever set it.
            errno = 0;
            code = mosquitto_loop_read(client_, handOverWindow);
        }
        if (code == MOSQ_ERR_SUCCESS && writeDue()) {
            code = writeRound(socket);
        } else if (code == MOSQ_ERR_SUCCESS && readable) {
            // A broker that leaves Nagle on holds each further acknowledgement until ours
            // of the last. With nothing of ours going out to carry it, a delayed one would
            // stall a batch for 40 ms.
            const int one = 1;
            ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        }
        if (code == MOSQ_ERR_SUCCESS)
            code = mosquitto_loop_misc(client_);
        if (code != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0) {
            connected = false;
            connectionEnded(code);
        }
    }
    if (connected) {
        mosquitto_disconnect(client_);
        mosquitto_loop_write(client_, 1);
    }
}

bool MqttPublisher::connect(bool first)
{
    const char* user = settings_.target.user.empty() ? nullptr : settings_.target.user.c_str();
    std::string password;
    if (!settings_.passwordFile.empty()) {
        std::string reason;
        if (!readPassword(settings_.passwordFile, password, reason)) {
            retryLater(mqtt_texts::causePassword, reason);
            return false;
        }
    }
    mosquitto_username_pw_set(client_, user, settings_.passwordFile.empty() ? nullptr : password.c_str());
    refusal_ = 0;
    int code = MOSQ_ERR_SUCCESS;
    if (first) {
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_int32(&properties, MQTT_PROP_SESSION_EXPIRY_INTERVAL, sessionExpirySeconds);
        code = mosquitto_connect_bind_v5(client_, settings_.target.host.c_str(), settings_.target.port,
                                         static_cast<int>(settings_.keepAlive.count()), nullptr, properties);
        mosquitto_property_free_all(&properties);
    } else {
        code = mosquitto_reconnect(client_);
    }
    if (code == MOSQ_ERR_SUCCESS)
        return true;
    // Settings the client refuses (a host name too long, say) will be refused every time.
    if (code == MOSQ_ERR_INVAL) {
        giveUp(MqttStatus::Failed, mqtt_texts::publishFailed + detailOf(code));
        return false;
    }
    retryLater(causeOf(code, false), detailOf(code));
    return false;
}

// At QoS 1 the client would send the next event as each acknowledgement comes, one packet
// and one wake of the broker per event. While acknowledgements of what went out are still
// due, they are gathered until half the broker's window has come back, and the events they
// free go out together. Not at QoS 2: its acknowledgements wait for our PUBRELs. Nor without a
// session: what a lost connection had on the wire will never be acknowledged, and CONNECT must go.
bool MqttPublisher::writeDue() const
{
    if (!mosquitto_want_write(client_))
        return false;
    const size_t gather = std::max<size_t>(1, receiveMaximum_ / 2);
    return settings_.qos != 1 || !sessionUp_ || acknowledgedSinceWrite_ >= std::min(gather, onWire_);
}

// Corked, so that the round's packets leave in full segments instead of one each.
int MqttPublisher::writeRound(int socket)
{
    int cork = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
    const int code = mosquitto_loop_write(client_, 1);
    cork = 0;
    ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
    // Once all is written, the broker holds as many unacknowledged as its window allows.
    onWire_ = mosquitto_want_write(client_) ? 0 : std::min(handed_.size(), receiveMaximum_);
    acknowledgedSinceWrite_ = 0;
    return code;
}

// Moves waiting events into the client while the session is up, up to the window.
void MqttPublisher::handOver()
{
    while (static_cast<int>(handed_.size()) < handOverWindow) {
        Pending next;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_.empty())
                return;
            next = std::move(pending_.front());
            pending_.pop_front();
        }
        int mid = 0;
        const int code =
            mosquitto_publish(client_, &mid, next.topic.c_str(), static_cast<int>(next.payload.size()),
                              next.payload.data(), settings_.qos, false);
        if (code == MOSQ_ERR_SUCCESS) {
            handed_.emplace(mid, next.ticket);
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_front(std::move(next));
        // A connection that just ended shows in the loop; anything else will not pass later either.
        if (code != MOSQ_ERR_NO_CONN && code != MOSQ_ERR_CONN_LOST) {
            end_ = MqttStatus::Failed;
            failure_ = mqtt_texts::publishFailed + detailOf(code);
            changed_.notify_all();
        }
        return;
    }
}

void MqttPublisher::connectionEnded(int code)
{
    const bool wasUp = sessionUp_;
    sessionUp_ = false;
    if (refusal_ == MQTT_RC_BAD_USERNAME_OR_PASSWORD || refusal_ == MQTT_RC_NOT_AUTHORIZED) {
        return giveUp(MqttStatus::LoginRefused, mqtt_texts::loginRefused + settings_.target.user + ": " +
                                                    mosquitto_reason_string(refusal_));
    }
    // QoS 0 is not resent after a reconnect: what was not written by now is gone.
    if (settings_.qos == 0) {
        for (const auto& entry : handed_)
            markDone(entry.second);
        handed_.clear();
    }
    if (refusal_ != 0)
        return retryLater(mqtt_texts::causeRefused, mosquitto_reason_string(refusal_));
    retryLater(causeOf(code, wasUp), detailOf(code));
}

// The reason reaches the log through the output's failure, once.
void MqttPublisher::giveUp(MqttStatus status, std::string reason)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        end_ = status;
        failure_ = std::move(reason);
    }
    changed_.notify_all();
}

void MqttPublisher::retryLater(const std::string& cause, const std::string& detail)
{
    const std::chrono::milliseconds wait = backoff_.next();
    nextAttempt_ = Clock::now() + wait;
    metrics_.reconnects.add(cause);
    if (!settings_.log)
        return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(wait.count()) / 1000);
    settings_.log(cause + (detail.empty() ? "" : ": " + detail) + mqtt_texts::reconnectingIn + seconds);
}

void MqttPublisher::markDone(uint64_t ticket)
{
    std::lock_guard<std::mutex> lock(mutex_);
    done_[ticket - firstOpen_] = true;
    metrics_.inFlight.add(-1);
    while (!done_.empty() && done_.front()) {
        done_.pop_front();
        ++firstOpen_;
    }
    // Acknowledgements come one by one; a waiter is woken only once its own has come.
    if (!awaited_.empty() && firstOpen_ > *awaited_.begin())
        changed_.notify_all();
}

void MqttPublisher::onConnect(mosquitto*, void* self, int code, int, const mosquitto_property* properties)
{
    auto& publisher = *static_cast<MqttPublisher*>(self);
    if (code != 0) {
        publisher.refusal_ = code;
        return;
    }
    uint16_t receiveMaximum = 0;
    publisher.receiveMaximum_ = handOverWindow;
    if (mosquitto_property_read_int16(properties, MQTT_PROP_RECEIVE_MAXIMUM, &receiveMaximum, false) !=
        nullptr)
        publisher.receiveMaximum_ = std::min<size_t>(receiveMaximum, handOverWindow);
    // What was in flight goes out again at once.
    publisher.onWire_ = 0;
    publisher.sessionUp_ = true;
    publisher.backoff_.reset();
    if (publisher.settings_.log)
        publisher.settings_.log(std::string(mqtt_texts::connectedTo) + publisher.settings_.target.host + ":" +
                                std::to_string(publisher.settings_.target.port));
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property*)
{
    auto& publisher = *static_cast<MqttPublisher*>(self);
    const auto found = publisher.handed_.find(mid);
    if (found == publisher.handed_.end())
        return;
    const uint64_t ticket = found->second;
    publisher.handed_.erase(found);
    ++publisher.acknowledgedSinceWrite_;
    // The client keeps no copy of a refused message, so it can never become durable: the
    // tool must stop acknowledging, and the service will deliver its frame again.
    if (reason >= MQTT_RC_UNSPECIFIED)
        return publisher.giveUp(MqttStatus::Failed, mqtt_texts::brokerRefusedEvent +
                                                        std::string(mosquitto_reason_string(reason)));
    publisher.metrics_.acknowledgements.add();
    publisher.markDone(ticket);
}

} // namespace consume
