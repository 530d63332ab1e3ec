#include "tools/consume/metrics_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <optional>
#include <thread>

#include "tools/consume/operations_texts.h"

namespace consume {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

// A scraper sends a short request; anything larger is not one.
constexpr size_t largestRequestBytes = 8192;
// Prometheus keeps its connection between scrapes; an idle one is closed after this.
constexpr std::chrono::seconds idleTimeout{60};
// Scrapers and health probes are few: more connections than this are refused, which bounds memory.
constexpr int mostConnections = 16;

constexpr const char* pageType = "text/plain; version=0.0.4; charset=utf-8";
constexpr const char* textType = "text/plain; charset=utf-8";

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, const ConsumeMetrics& metrics, std::chrono::milliseconds reconnectMax,
            int& connections)
        : stream_(std::move(socket)), metrics_(metrics), reconnectMax_(reconnectMax),
          connections_(connections)
    {
        ++connections_;
    }
    ~Session() { --connections_; }

    void read()
    {
        parser_.emplace();
        parser_->header_limit(largestRequestBytes);
        parser_->body_limit(largestRequestBytes);
        stream_.expires_after(idleTimeout);
        http::async_read(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, size_t) { self->answer(error); });
    }

private:
    void answer(beast::error_code error)
    {
        if (error) {
            stream_.socket().shutdown(tcp::socket::shutdown_both, error);
            return;
        }
        const http::request<http::empty_body>& request = parser_->get();
        response_ = {};
        response_.version(request.version());
        response_.keep_alive(request.keep_alive());
        fill(request);
        response_.prepare_payload();
        http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code error, size_t) {
            if (!error && self->response_.keep_alive())
                self->read();
            else
                self->stream_.socket().shutdown(tcp::socket::shutdown_both, error);
        });
    }

    void fill(const http::request<http::empty_body>& request)
    {
        response_.set(http::field::content_type, textType);
        if (request.method() != http::verb::get) {
            response_.result(http::status::method_not_allowed);
            response_.set(http::field::allow, "GET");
            response_.body() = texts::onlyGet;
        } else if (request.target() == "/metrics") {
            response_.result(http::status::ok);
            response_.set(http::field::content_type, pageType);
            response_.body() = renderMetricsPage(metrics_);
        } else if (request.target() == "/health") {
            HealthReport health = assessHealth(metrics_.connection, reconnectMax_);
            response_.result(health.healthy ? http::status::ok : http::status::service_unavailable);
            response_.body() = std::move(health.text);
        } else {
            response_.result(http::status::not_found);
            response_.body() = texts::notFound;
        }
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_{largestRequestBytes};
    std::optional<http::request_parser<http::empty_body>> parser_;
    http::response<http::string_body> response_;
    const ConsumeMetrics& metrics_;
    std::chrono::milliseconds reconnectMax_;
    int& connections_;
};

} // namespace

struct MetricsServer::Impl {
    Impl(const ConsumeMetrics& metrics, std::chrono::milliseconds reconnectMax)
        : metrics(metrics), reconnectMax(reconnectMax)
    {}

    void accept()
    {
        acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
            if (error == net::error::operation_aborted)
                return;
            if (!error && connections < mostConnections)
                std::make_shared<Session>(std::move(socket), metrics, reconnectMax, connections)->read();
            accept();
        });
    }

    const ConsumeMetrics& metrics;
    std::chrono::milliseconds reconnectMax;
    int connections = 0; // only touched on the server's thread; outlives the sessions io holds
    uint16_t port = 0;
    net::io_context io{1};
    tcp::acceptor acceptor{io};
    std::thread thread;
};

MetricsServer::MetricsServer(const ConsumeMetrics& metrics, std::chrono::milliseconds reconnectMax)
    : impl_(std::make_unique<Impl>(metrics, reconnectMax))
{}

MetricsServer::~MetricsServer()
{
    impl_->io.stop();
    if (impl_->thread.joinable())
        impl_->thread.join();
}

bool MetricsServer::start(const ListenAddress& address, std::string& reason)
{
    const std::string where = address.host + ":" + std::to_string(address.port);
    beast::error_code error;
    const net::ip::address ip = net::ip::make_address(address.host, error);
    const tcp::endpoint endpoint(ip, address.port);
    if (!error)
        impl_->acceptor.open(endpoint.protocol(), error);
    if (!error)
        impl_->acceptor.set_option(net::socket_base::reuse_address(true), error);
    if (!error)
        impl_->acceptor.bind(endpoint, error);
    if (!error)
        impl_->acceptor.listen(net::socket_base::max_listen_connections, error);
    if (error) {
        reason = texts::cannotServeMetrics + where + ": " + error.message();
        return false;
    }
    impl_->port = impl_->acceptor.local_endpoint(error).port();
    impl_->accept();
    impl_->thread = std::thread([this] { impl_->io.run(); });
    return true;
}

uint16_t MetricsServer::port() const
{
    return impl_->port;
}

} // namespace consume
