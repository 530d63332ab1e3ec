// The only file that sees Boost.Beast and OpenSSL: each such file costs a minute to compile.
#include "tools/consume/service_client.h"

#include <openssl/ssl.h>
#include <pthread.h>

#include <boost/asio/compose.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <type_traits>

#include "tools/common/log_text.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/relabeling_stream.h"
#include "tools/consume/token_source.h"

namespace consume {

namespace {

namespace http = beast::http;
namespace websocket = beast::websocket;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
// The io_context's own executor, not the type-erased one, on everything a frame passes through.
using Socket = net::basic_stream_socket<tcp, net::io_context::executor_type>;
using TlsSocket = ssl::stream<Socket>;
using SteadyTimer =
    net::basic_waitable_timer<std::chrono::steady_clock, net::wait_traits<std::chrono::steady_clock>,
                              net::io_context::executor_type>;

constexpr Milliseconds shortestHandshakeTimeout{1000};
// Bytes asked of the socket per read; a message is gathered from as many reads as it takes.
constexpr size_t readChunk = 64 * 1024;
// The identifier of a message too large to keep is looked for in its first bytes only.
constexpr size_t identifierSearch = 4096;

bool inCategoryOf(const beast::error_code& error, const beast::error_code& sample)
{
    return error.category() == sample.category();
}

struct ConnectionSettings {
    const ServiceUrl& url;
    Milliseconds pingInterval;
    uint64_t maxRecordBytes;
};

template <class Layer>
class WebsocketConnection : public Connection,
                            public std::enable_shared_from_this<WebsocketConnection<Layer>> {
    static constexpr bool tls = std::is_same_v<Layer, TlsSocket>;

public:
    template <class... LayerArguments>
    WebsocketConnection(uint64_t id, const ConnectionSettings& settings, ConnectionEvents& events,
                        net::io_context& io, LayerArguments&&... layer)
        : id_(id), settings_(settings), events_(events), resolver_(io), deadline_(io), idle_(io),
          ws_(std::forward<LayerArguments>(layer)...)
    {}

    void open(const std::string& target) override
    {
        target_ = target;
        resolver_.async_resolve(settings_.url.host, settings_.url.port,
                                [self = this->shared_from_this()](
                                    beast::error_code error, const tcp::resolver::results_type& results) {
                                    self->onResolved(error, results);
                                });
    }

    // Texts sent from one handler leave together: the first waits for the handler to end.
    void send(std::string text) override
    {
        outbox_.push_back(std::move(text));
        if (writing_ || closeStarted_)
            return;
        writing_ = true;
        net::post(ws_.get_executor(), [self = this->shared_from_this()] {
            if (!self->gone_)
                self->writeNext();
        });
    }

    void resume() override
    {
        if (paused_ && !gone_) {
            paused_ = false;
            read();
        }
    }

    void close() override
    {
        closeWanted_ = true;
        if (!writing_ && !closeStarted_)
            startClose();
    }

    void abandon() override
    {
        gone_ = true;
        resolver_.cancel();
        stopDeadline();
        idle_.cancel();
        closeSocket();
    }

private:
    Milliseconds handshakeTimeout() const
    {
        return std::max(2 * settings_.pingInterval, shortestHandshakeTimeout);
    }

    TextAsBinaryStream<Layer>& stream() { return ws_.next_layer(); }

    void closeSocket()
    {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).close(ignored);
    }

    // Connecting and the TLS handshake have handshakeTimeout between them; closing the socket ends either.
    void startDeadline()
    {
        deadline_.expires_after(handshakeTimeout());
        deadline_.async_wait(
            [self = this->shared_from_this(), generation = ++deadlineGeneration_](beast::error_code error) {
                if (error || generation != self->deadlineGeneration_ || self->gone_)
                    return;
                self->timedOut_ = true;
                self->closeSocket();
            });
    }

    void stopDeadline()
    {
        ++deadlineGeneration_;
        deadline_.cancel();
    }

    // One timer for the whole connection instead of one per read: every half interval it looks whether
    // anything was read since. Silent for an interval or more, it pings; for another half, the peer is dead,
    // so within two intervals of its last word.
    void watchIdle()
    {
        idle_.expires_after(settings_.pingInterval / 2);
        idle_.async_wait([self = this->shared_from_this()](beast::error_code error) {
            if (!error && !self->gone_ && !self->closeStarted_)
                self->idleTick();
        });
    }

    void idleTick()
    {
        const uint64_t read = stream().bytesRead();
        if (read != readAtLastTick_) {
            readAtLastTick_ = read;
            silentTicks_ = 0;
        } else if (++silentTicks_ == 2) {
            // A failed ping shows in the read that then fails.
            ws_.async_ping({}, [](beast::error_code) {});
        } else if (silentTicks_ > 2) {
            return fail({texts::causeDead, beast::error_code(beast::error::timeout).message()});
        }
        watchIdle();
    }

    EndCause timeoutOr(EndCause cause) const
    {
        if (timedOut_)
            return {texts::causeTimeout, beast::error_code(beast::error::timeout).message()};
        return cause;
    }

    void onResolved(beast::error_code error, const tcp::resolver::results_type& results)
    {
        if (error)
            return fail({texts::causeFailed, error.message()});
        startDeadline();
        // Once timed out, no further address is tried.
        net::async_connect(
            beast::get_lowest_layer(ws_), results,
            [this](const beast::error_code&, const tcp::endpoint&) { return !timedOut_; },
            [self = this->shared_from_this()](beast::error_code connectError, const tcp::endpoint&) {
                self->onConnected(connectError);
            });
    }

    void onConnected(beast::error_code error)
    {
        if (error)
            return fail(timeoutOr({texts::causeFailed, error.message()}));
        if constexpr (tls) {
            // SNI, and the certificate must name the host.
            Layer& layer = stream().next_layer();
            if (SSL_set_tlsext_host_name(layer.native_handle(), settings_.url.host.c_str()) != 1)
                return fail({texts::causeTls, "SNI"});
            layer.set_verify_callback(ssl::host_name_verification(settings_.url.host));
            layer.async_handshake(
                ssl::stream_base::client, [self = this->shared_from_this()](beast::error_code tlsError) {
                    if (tlsError)
                        return self->fail(self->timeoutOr({texts::causeTls, tlsError.message()}));
                    self->upgrade();
                });
        } else {
            upgrade();
        }
    }

    void upgrade()
    {
        stopDeadline();
        // The upgrade and the close are timed by the websocket; an open connection by watchIdle.
        websocket::stream_base::timeout timeout{};
        timeout.handshake_timeout = handshakeTimeout();
        timeout.idle_timeout = websocket::stream_base::none();
        timeout.keep_alive_pings = false;
        ws_.set_option(timeout);
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::request_type& request) { request.set(http::field::user_agent, texts::toolName); }));
        // The limit is ours, applied while reading, so that a larger message is read through, not fatal.
        ws_.read_message_max(0);
        // The synchronous handshake would hide the status of a refused upgrade; the response object keeps it.
        ws_.async_handshake(
            response_, settings_.url.hostHeader, target_,
            [self = this->shared_from_this()](beast::error_code error) { self->onUpgraded(error); });
    }

    void onUpgraded(beast::error_code error)
    {
        if (gone_)
            return;
        if (error == websocket::error::upgrade_declined) {
            gone_ = true;
            return events_.refused(id_, response_.result_int());
        }
        if (error == beast::error::timeout)
            return fail({texts::causeTimeout, error.message()});
        if (inCategoryOf(error, http::error::bad_version) ||
            inCategoryOf(error, websocket::error::no_sec_accept))
            return fail({texts::causeBadResponse, error.message()});
        if (error)
            return fail({texts::causeFailed, error.message()});
        ws_.text(true);
        events_.opened(id_);
        readAtLastTick_ = stream().bytesRead();
        watchIdle();
        read();
    }

    void read()
    {
        ws_.async_read_some(
            buffer_, readChunk,
            [self = this->shared_from_this()](beast::error_code error, size_t) { self->onRead(error); });
    }

    void onRead(beast::error_code error)
    {
        if (error)
            return fail(readFailure(error));
        if (gone_)
            return;
        if (!tooLarge_ && buffer_.size() > settings_.maxRecordBytes) {
            tooLarge_ = true;
            identifier_ = identifierOf(buffer_);
        }
        if (tooLarge_) {
            tooLargeSize_ += buffer_.size();
            buffer_.consume(buffer_.size());
        }
        if (!ws_.is_message_done())
            return read();
        bool more = false;
        if (tooLarge_) {
            const uint64_t size = tooLargeSize_;
            tooLarge_ = false;
            tooLargeSize_ = 0;
            buffer_.shrink_to_fit();
            more = events_.frameTooLarge(id_, std::move(identifier_), size);
            identifier_.clear();
        } else {
            more = events_.frameArrived(
                id_, std::string_view(static_cast<const char*>(buffer_.data().data()), buffer_.size()));
            buffer_.consume(buffer_.size());
        }
        if (gone_)
            return;
        if (more)
            read();
        else
            paused_ = true;
    }

    static std::string identifierOf(const beast::flat_buffer& buffer)
    {
        const auto* bytes = static_cast<const char*>(buffer.data().data());
        const std::string head(bytes, std::min(buffer.size(), identifierSearch));
        const size_t end = head.find('\n');
        if (end == std::string::npos)
            return "";
        return head.substr(0, end > 0 && head[end - 1] == '\r' ? end - 1 : end);
    }

    EndCause readFailure(const beast::error_code& error)
    {
        if (error == websocket::error::closed) {
            const websocket::close_reason& reason = ws_.reason();
            std::string detail = texts::closeCode + std::to_string(reason.code);
            if (!reason.reason.empty())
                detail += " " + std::string(reason.reason.data(), reason.reason.size());
            return {texts::causeClosed, detail};
        }
        return {texts::causeFailed, error.message()};
    }

    void writeNext()
    {
        writing_ = true;
        // The last text queued takes the gathered ones with it.
        held_ = outbox_.size() > 1;
        stream().hold(held_);
        ws_.async_write(
            net::buffer(outbox_.front()),
            [self = this->shared_from_this()](beast::error_code error, size_t) { self->onWritten(error); });
    }

    void onWritten(beast::error_code error)
    {
        writing_ = false;
        if (error)
            return fail({texts::causeFailed, error.message()});
        outbox_.pop_front();
        ++gathered_;
        if (gone_)
            return;
        if (!held_) {
            const size_t sent = gathered_;
            gathered_ = 0;
            events_.acknowledgementsSent(id_, sent);
        }
        if (gone_)
            return;
        if (!outbox_.empty())
            writeNext();
        else if (closeWanted_)
            startClose();
    }

    void startClose()
    {
        closeStarted_ = true;
        ws_.async_close(websocket::close_code::normal, [self = this->shared_from_this()](beast::error_code) {
            if (!self->gone_) {
                self->gone_ = true;
                self->events_.closed(self->id_);
            }
        });
    }

    // Errors after our own close began are the close's; it reports.
    void fail(EndCause cause)
    {
        if (gone_ || closeStarted_)
            return;
        gone_ = true;
        events_.failed(id_, std::move(cause));
    }

    uint64_t id_;
    const ConnectionSettings& settings_;
    ConnectionEvents& events_;
    tcp::resolver resolver_;
    SteadyTimer deadline_;
    SteadyTimer idle_;
    uint64_t readAtLastTick_ = 0;
    int silentTicks_ = 0;
    uint64_t deadlineGeneration_ = 0; // a deadline handler already queued when it was stopped is stale
    bool timedOut_ = false;
    websocket::stream<TextAsBinaryStream<Layer>> ws_;
    websocket::response_type response_;
    std::string target_;
    beast::flat_buffer buffer_;
    bool tooLarge_ = false; // the message being read is past the limit: its bytes are dropped as they come
    uint64_t tooLargeSize_ = 0;
    std::string identifier_;
    std::deque<std::string> outbox_;
    size_t gathered_ = 0; // texts written into the gathering buffer, not yet on the socket
    bool held_ = false;   // the write in progress is gathered
    bool writing_ = false;
    bool paused_ = false;
    bool closeWanted_ = false;
    bool closeStarted_ = false;
    bool gone_ = false;
};

class AsioTimer : public Timer {
public:
    explicit AsioTimer(net::io_context& io) : timer_(io) {}

    // A handler already queued when the timer is cancelled or restarted still runs; the generation tells it
    // that it is stale.
    void start(Milliseconds delay, std::function<void()> fired) override
    {
        const uint64_t generation = ++generation_;
        timer_.expires_after(delay);
        timer_.async_wait([this, generation, fired = std::move(fired)](beast::error_code error) {
            if (!error && generation == generation_)
                fired();
        });
    }

    void cancel() override
    {
        ++generation_;
        timer_.cancel();
    }

private:
    net::steady_timer timer_;
    uint64_t generation_ = 0;
};

class AsioLoop : public EventLoop {
public:
    explicit AsioLoop(net::io_context& io) : io_(io) {}
    std::chrono::steady_clock::time_point now() const override { return std::chrono::steady_clock::now(); }
    std::unique_ptr<Timer> timer() override { return std::make_unique<AsioTimer>(io_); }
    void post(std::function<void()> work) override { net::post(io_, std::move(work)); }
    void stop() override { io_.stop(); }

private:
    net::io_context& io_;
};

void logLine(const std::string& line)
{
    std::fprintf(stderr, "%s: %s\n", texts::toolName, line.c_str());
}

// A missing or unreadable file is named with its reason; the TLS library's own error says neither.
bool setUpTls(const Options& options, ssl::context& tls)
{
    tls.set_verify_mode(ssl::verify_peer);
    beast::error_code error;
    if (options.caFile.empty()) {
        tls.set_default_verify_paths(error);
    } else if (std::FILE* file = std::fopen(options.caFile.c_str(), "rb"); file == nullptr) {
        logLine(texts::cannotReadCa + options.caFile + ": " + std::strerror(errno));
        return false;
    } else {
        std::fclose(file);
        tls.load_verify_file(options.caFile, error);
    }
    if (!error)
        return true;
    logLine(texts::cannotReadCa + options.caFile + ": " + error.message());
    return false;
}

} // namespace

int runServiceClient(const Options& options, const ServiceUrl& url, ConversionWorker& worker,
                     ConsumeTally& tally, const std::function<void()>& reopen, Operations& operations)
{
    net::io_context io;
    ssl::context tls{ssl::context::tls_client};
    if (url.tls && !setUpTls(options, tls))
        return exitUsage;
    AsioLoop loop(io);
    const ConnectionSettings settings{url, options.pingInterval, options.maxRecordBytes};
    TokenReader tokens(options.tokenFile, options.tokenCommand, options.tokenTimeout);
    ConnectionFactory connect = [&](uint64_t id, ConnectionEvents& events) -> std::shared_ptr<Connection> {
        if (url.tls)
            return std::make_shared<WebsocketConnection<TlsSocket>>(id, settings, events, io, io, tls);
        return std::make_shared<WebsocketConnection<Socket>>(id, settings, events, io, io);
    };
    ServiceSession session(options, url,
                           {loop, std::move(connect), tokens,
                            [&worker](FrameBatch batch, ConversionWorker::Done done) {
                                worker.convert(std::move(batch), std::move(done));
                            },
                            logLine, [&operations](Phase phase) { operations.phaseEntered(phase); },
                            [&worker] { worker.giveUpGroup(); }},
                           tally);

    net::signal_set signals(io, SIGINT, SIGTERM, SIGHUP);
    std::function<void(beast::error_code, int)> onSignal = [&](beast::error_code error, int number) {
        if (error)
            return;
        if (number != SIGHUP) {
            session.stop(exitStopped); // again: the group in hand is given up
        } else {
            if (!options.quiet)
                logLine(texts::reopening);
            if (reopen)
                reopen();
        }
        signals.async_wait(onSignal);
    };
    signals.async_wait(onSignal);
    // Blocked since the start of main, so that none ended the tool before it could stop cleanly; a signal
    // that came meanwhile is taken now.
    sigset_t taken;
    sigemptyset(&taken);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&taken, number);
    pthread_sigmask(SIG_UNBLOCK, &taken, nullptr);

    session.start();
    operations.loopStarted(io);
    io.run();
    operations.loopEnded();
    // Once the loop is done a stop signal has nothing left to stop, and must not cut the summary short.
    pthread_sigmask(SIG_BLOCK, &taken, nullptr);
    tokens.cancel();
    return session.status();
}

} // namespace consume
