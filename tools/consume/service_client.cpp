// The only file that sees Boost.Beast and OpenSSL: each such file costs a minute to compile.
#include "tools/consume/service_client.h"

#include <openssl/ssl.h>

#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <type_traits>

#include "tools/common/texts.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/token_source.h"

namespace consume {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using Milliseconds = std::chrono::milliseconds;

constexpr Milliseconds firstBackoff{100};
constexpr Milliseconds shortestHandshakeTimeout{1000};
constexpr std::chrono::seconds closeGrace{2};

// What a connection reports. Each report carries the connection's number, so that
// news from a connection already given up is recognised and ignored.
class ConnectionEvents {
public:
    virtual void opened(uint64_t id) = 0;
    virtual void refused(uint64_t id, unsigned status) = 0;
    virtual void failed(uint64_t id, const char* cause, const std::string& detail) = 0;
    // False: read no further until resume().
    virtual bool frameArrived(uint64_t id, std::string text) = 0;
    virtual void acknowledgementSent() = 0;
    virtual void closed(uint64_t id) = 0;

protected:
    ~ConnectionEvents() = default;
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual void open(const std::string& target) = 0;
    virtual void send(std::string text) = 0;
    virtual void resume() = 0;
    // A normal close once everything queued is sent.
    virtual void close() = 0;
    // Gives up at once; nothing more is reported.
    virtual void abandon() = 0;
};

template <class NextLayer>
class WebsocketConnection : public Connection,
                            public std::enable_shared_from_this<WebsocketConnection<NextLayer>> {
    static constexpr bool tls = !std::is_same_v<NextLayer, beast::tcp_stream>;

public:
    template <class... LayerArguments>
    WebsocketConnection(uint64_t id, const ServiceUrl& url, Milliseconds pingInterval,
                        ConnectionEvents& events, net::io_context& io, LayerArguments&&... layer)
        : id_(id), url_(url), pingInterval_(pingInterval), events_(events), resolver_(io),
          ws_(std::forward<LayerArguments>(layer)...)
    {}

    void open(const std::string& target) override
    {
        target_ = target;
        resolver_.async_resolve(url_.host, url_.port,
                                [self = this->shared_from_this()](
                                    beast::error_code error, const tcp::resolver::results_type& results) {
                                    self->onResolved(error, results);
                                });
    }

    void send(std::string text) override
    {
        outbox_.push_back(std::move(text));
        if (!writing_ && !closing_)
            writeNext();
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
        if (!writing_ && !closing_)
            startClose();
    }

    void abandon() override
    {
        gone_ = true;
        resolver_.cancel();
        beast::get_lowest_layer(ws_).close();
    }

private:
    Milliseconds handshakeTimeout() const { return std::max(2 * pingInterval_, shortestHandshakeTimeout); }

    void onResolved(beast::error_code error, const tcp::resolver::results_type& results)
    {
        if (error)
            return fail(texts::causeFailed, error);
        beast::get_lowest_layer(ws_).expires_after(handshakeTimeout());
        beast::get_lowest_layer(ws_).async_connect(
            results, [self = this->shared_from_this()](beast::error_code connectError, const tcp::endpoint&) {
                self->onConnected(connectError);
            });
    }

    void onConnected(beast::error_code error)
    {
        if (error)
            return fail(texts::causeFailed, error);
        if constexpr (tls) {
            // SNI, and the certificate must name the host.
            if (SSL_set_tlsext_host_name(ws_.next_layer().native_handle(), url_.host.c_str()) != 1)
                return fail(texts::causeFailed, beast::error_code(static_cast<int>(::ERR_get_error()),
                                                                  net::error::get_ssl_category()));
            ws_.next_layer().set_verify_callback(ssl::host_name_verification(url_.host));
            ws_.next_layer().async_handshake(
                ssl::stream_base::client,
                [self = this->shared_from_this()](beast::error_code tlsError) { self->upgrade(tlsError); });
        } else {
            upgrade(error);
        }
    }

    void upgrade(beast::error_code error)
    {
        if (error)
            return fail(texts::causeFailed, error);
        // From here on the websocket keeps its own time: pings after an idle interval, dead after two.
        beast::get_lowest_layer(ws_).expires_never();
        websocket::stream_base::timeout timeout{};
        timeout.handshake_timeout = handshakeTimeout();
        timeout.idle_timeout = 2 * pingInterval_;
        timeout.keep_alive_pings = true;
        ws_.set_option(timeout);
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::request_type& request) { request.set(http::field::user_agent, texts::toolName); }));
        // The synchronous handshake would hide the status of a refused upgrade; the response object keeps it.
        ws_.async_handshake(response_, url_.hostHeader, target_,
                            [self = this->shared_from_this()](beast::error_code handshakeError) {
                                self->onUpgraded(handshakeError);
                            });
    }

    void onUpgraded(beast::error_code error)
    {
        if (gone_)
            return;
        const unsigned status = response_.result_int();
        if (error && status != 0 && status != static_cast<unsigned>(http::status::switching_protocols)) {
            gone_ = true;
            events_.refused(id_, status);
            return;
        }
        if (error)
            return fail(texts::causeFailed, error);
        ws_.text(true);
        events_.opened(id_);
        read();
    }

    void read()
    {
        ws_.async_read(buffer_, [self = this->shared_from_this()](beast::error_code error, size_t) {
            self->onRead(error);
        });
    }

    void onRead(beast::error_code error)
    {
        if (error) {
            if (error == websocket::error::closed)
                return fail(texts::causeClosed, error);
            return fail(error == beast::error::timeout ? texts::causeDead : texts::causeFailed, error);
        }
        std::string text = beast::buffers_to_string(buffer_.data());
        buffer_.consume(buffer_.size());
        if (gone_ || closing_)
            return;
        if (events_.frameArrived(id_, std::move(text)))
            read();
        else
            paused_ = true;
    }

    void writeNext()
    {
        writing_ = true;
        ws_.async_write(
            net::buffer(outbox_.front()),
            [self = this->shared_from_this()](beast::error_code error, size_t) { self->onWritten(error); });
    }

    void onWritten(beast::error_code error)
    {
        writing_ = false;
        if (error)
            return fail(texts::causeFailed, error);
        outbox_.pop_front();
        if (gone_)
            return;
        events_.acknowledgementSent();
        if (!outbox_.empty())
            writeNext();
        else if (closeWanted_)
            startClose();
    }

    void startClose()
    {
        closing_ = true;
        ws_.async_close(websocket::close_code::normal, [self = this->shared_from_this()](beast::error_code) {
            if (!self->gone_) {
                self->gone_ = true;
                self->events_.closed(self->id_);
            }
        });
    }

    void fail(const char* cause, beast::error_code error)
    {
        if (gone_ || closing_)
            return;
        gone_ = true;
        events_.failed(id_, cause, error.message());
    }

    uint64_t id_;
    const ServiceUrl& url_;
    Milliseconds pingInterval_;
    ConnectionEvents& events_;
    tcp::resolver resolver_;
    websocket::stream<NextLayer> ws_;
    websocket::response_type response_;
    std::string target_;
    beast::flat_buffer buffer_;
    std::deque<std::string> outbox_;
    bool writing_ = false;
    bool paused_ = false;
    bool closeWanted_ = false;
    bool closing_ = false;
    bool gone_ = false;
};

class ServiceClient : public ConnectionEvents {
public:
    ServiceClient(const Options& options, const ServiceUrl& url, ConversionWorker& worker,
                  ConsumeTally& tally)
        : options_(options), url_(url), worker_(worker), tally_(tally),
          backoff_(std::min<Milliseconds>(firstBackoff, options.reconnectMax))
    {}

    int run()
    {
        if (url_.tls && !setUpTls())
            return exitUsage;
        signals_.async_wait([this](beast::error_code error, int) {
            if (!error)
                beginStop(exitStopped);
        });
        connect();
        io_.run();
        return status_;
    }

private:
    bool setUpTls()
    {
        beast::error_code error;
        tls_.set_verify_mode(ssl::verify_peer);
        if (options_.caFile.empty())
            tls_.set_default_verify_paths(error);
        else
            tls_.load_verify_file(options_.caFile, error);
        if (!error)
            return true;
        std::fprintf(stderr, "%s: %s%s: %s\n", texts::toolName, texts::cannotReadCa, options_.caFile.c_str(),
                     error.message().c_str());
        return false;
    }

    void connect()
    {
        if (stopping_)
            return;
        std::string token;
        std::string reason;
        if (!readToken(options_.tokenFile, options_.tokenCommand, token, reason))
            return fatal(exitTokenRefused, reason);
        openWith(token);
    }

    void openWith(const std::string& token)
    {
        token_ = token;
        connectionId_ = ++lastId_;
        open_ = false;
        if (url_.tls)
            connection_ = std::make_shared<WebsocketConnection<beast::ssl_stream<beast::tcp_stream>>>(
                connectionId_, url_, options_.pingInterval, *this, io_, io_, tls_);
        else
            connection_ = std::make_shared<WebsocketConnection<beast::tcp_stream>>(
                connectionId_, url_, options_.pingInterval, *this, io_, io_);
        connection_->open(targetWithCredentials(url_, token, options_.consumer));
    }

    void opened(uint64_t id) override
    {
        if (id != connectionId_)
            return;
        open_ = true;
        refusedOnce_ = false;
        backoff_ = std::min<Milliseconds>(firstBackoff, options_.reconnectMax);
        if (!options_.quiet)
            std::fprintf(stderr, "%s: %s%s%s\n", texts::toolName, texts::connected,
                         url_.tls ? "wss://" : "ws://", url_.hostHeader.c_str());
    }

    void refused(uint64_t id, unsigned status) override
    {
        if (id != connectionId_)
            return;
        dropConnection();
        if (status != 401 && status != 403) {
            scheduleReconnect(status == 409 ? texts::causeBusy : texts::causeHttp + std::to_string(status),
                              "");
            return;
        }
        countName(tally_.reconnectsByCause, texts::causeRefused);
        if (refusedOnce_)
            return fatal(exitTokenRefused, texts::tokenRefusedAgain);
        std::string token;
        std::string reason;
        if (!readToken(options_.tokenFile, options_.tokenCommand, token, reason))
            return fatal(exitTokenRefused, reason);
        if (token == token_)
            return fatal(exitTokenRefused, texts::tokenRefusedUnchanged);
        refusedOnce_ = true;
        if (stopping_)
            return finishWhenIdle();
        openWith(token);
    }

    void failed(uint64_t id, const char* cause, const std::string& detail) override
    {
        if (id != connectionId_)
            return;
        dropConnection();
        scheduleReconnect(cause, detail);
    }

    bool frameArrived(uint64_t id, std::string text) override
    {
        // Frames that arrive once stopping has begun are left unacknowledged: the service delivers them
        // again.
        if (id != connectionId_ || stopping_)
            return false;
        ++tally_.received;
        filling_.push_back({id, std::move(text)});
        if (filling_.size() == 1)
            startBatchTimer();
        if (filling_.size() >= options_.batchSize)
            handOver();
        return filling_.size() < options_.batchSize;
    }

    void acknowledgementSent() override { ++tally_.acknowledged; }

    void closed(uint64_t id) override
    {
        if (id == connectionId_)
            finish();
    }

    void dropConnection()
    {
        connection_->abandon();
        connection_.reset();
        connectionId_ = 0;
        open_ = false;
    }

    void scheduleReconnect(const std::string& cause, const std::string& detail)
    {
        countName(tally_.reconnectsByCause, cause);
        if (stopping_)
            return finishWhenIdle();
        std::uniform_int_distribution<long> jitter(backoff_.count() / 2, backoff_.count());
        const Milliseconds delay(jitter(random_));
        backoff_ = std::min<Milliseconds>(2 * backoff_, options_.reconnectMax);
        if (!options_.quiet)
            std::fprintf(stderr, "%s: %s%s%s; %s%.1f s\n", texts::toolName, cause.c_str(),
                         detail.empty() ? "" : ": ", detail.c_str(), texts::reconnecting,
                         static_cast<double>(delay.count()) / 1000);
        reconnectTimer_.expires_after(delay);
        reconnectTimer_.async_wait([this](beast::error_code error) {
            if (!error)
                connect();
        });
    }

    void startBatchTimer()
    {
        batchTimer_.expires_after(options_.batchWait);
        batchTimer_.async_wait([this](beast::error_code error) {
            if (error)
                return;
            batchDue_ = true;
            handOver();
        });
    }

    // The filling batch goes to the worker when it is full, due or the last, and the worker is free.
    void handOver()
    {
        if (workerBusy_ || filling_.empty())
            return;
        if (filling_.size() < options_.batchSize && !batchDue_ && !stopping_)
            return;
        workerBusy_ = true;
        batchDue_ = false;
        batchTimer_.cancel();
        FrameBatch batch;
        batch.swap(filling_);
        worker_.convert(std::move(batch), [this](BatchOutcome outcome) {
            net::post(io_, [this, outcome = std::move(outcome)]() mutable { batchDone(std::move(outcome)); });
        });
        if (connection_ != nullptr && open_)
            connection_->resume();
    }

    void batchDone(BatchOutcome outcome)
    {
        workerBusy_ = false;
        if (outcome.writeError != 0) {
            fatal(exitOutput,
                  tools::texts::cannotWriteOutput + std::string(std::strerror(outcome.writeError)));
            return;
        }
        // Acknowledgements owed to a connection that is gone are dropped: the service redelivers those
        // frames.
        for (Acknowledgement& acknowledgement : outcome.acknowledgements) {
            if (connection_ != nullptr && open_ && acknowledgement.connection == connectionId_)
                connection_->send(std::move(acknowledgement.identifier));
        }
        handOver();
        finishWhenIdle();
    }

    void beginStop(int status)
    {
        stopping_ = true;
        status_ = std::max(status_, status);
        handOver();
        finishWhenIdle();
    }

    void fatal(int status, const std::string& reason)
    {
        std::fprintf(stderr, "%s: %s\n", texts::toolName, reason.c_str());
        filling_.clear(); // not acknowledged, so delivered again to whoever consumes next
        beginStop(status);
    }

    // Once every received frame is written and acknowledged, the connection closes normally.
    void finishWhenIdle()
    {
        if (!stopping_ || workerBusy_ || !filling_.empty() || closing_)
            return;
        closing_ = true;
        signals_.cancel();
        reconnectTimer_.cancel();
        batchTimer_.cancel();
        if (connection_ == nullptr || !open_)
            return finish();
        connection_->close();
        closeTimer_.expires_after(closeGrace);
        closeTimer_.async_wait([this](beast::error_code error) {
            if (!error)
                finish();
        });
    }

    void finish()
    {
        if (connection_ != nullptr)
            connection_->abandon();
        io_.stop();
    }

    const Options& options_;
    const ServiceUrl& url_;
    ConversionWorker& worker_;
    ConsumeTally& tally_;

    net::io_context io_;
    ssl::context tls_{ssl::context::tls_client};
    net::signal_set signals_{io_, SIGINT, SIGTERM};
    net::steady_timer reconnectTimer_{io_};
    net::steady_timer batchTimer_{io_};
    net::steady_timer closeTimer_{io_};
    std::mt19937 random_{std::random_device{}()};

    std::shared_ptr<Connection> connection_;
    uint64_t connectionId_ = 0; // the current connection's; 0 while there is none
    uint64_t lastId_ = 0;
    bool open_ = false;
    std::string token_;
    bool refusedOnce_ = false;
    Milliseconds backoff_;

    FrameBatch filling_;
    bool batchDue_ = false;
    bool workerBusy_ = false;
    bool stopping_ = false;
    bool closing_ = false;
    int status_ = exitStopped;
};

} // namespace

int runServiceClient(const Options& options, const ServiceUrl& url, ConversionWorker& worker,
                     ConsumeTally& tally)
{
    ServiceClient client(options, url, worker, tally);
    return client.run();
}

} // namespace consume
