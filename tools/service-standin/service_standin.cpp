// A stand-in for the platform's websocket notification service, on 127.0.0.1 only,
// for the live consumer's tests, the demo and the benchmark. It serves the frames
// of a capture file, takes an acknowledgement as the identifier line sent back on
// the connection that delivered the frame, and delivers every unacknowledged frame
// again to whoever consumes next. Some options make it a hostile service, to test
// that the consumer survives one. --help describes them and what it reports.
#include <openssl/ssl.h>

#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/common/frame_text.h"
#include "tools/service-standin/websocket_wire.h"

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

struct Settings {
    std::string framesFile;
    unsigned short port = 0;
    std::string token;           // the one accepted; empty: any
    std::string rotateTokenFile; // a refused token makes the stand-in write the accepted one here first
    int busy = 0;                // upgrades answered 409 before the first one accepted
    long cutAfter = -1;          // the first connection is cut after this many frames
    long deafAfter = -1;         // the first connection stops reading and writing after this many frames
    int paceMs = 0;              // one more frame becomes available every paceMs (0: all at once)
    size_t waitForConsumers = 0; // no frame is available before this many consumers are connected
    bool shared = false;         // split by source among consumers, as a shared subscription does
    bool untilAcknowledged = false;
    bool logAcknowledgements = false;
    std::string certificate;
    std::string key;
    bool silentUpgrade = false;  // upgrade requests are read and never answered
    bool garbageUpgrade = false; // upgrade requests are answered with bytes that are not HTTP
    int closeAtOnce = 0;         // not 0: every connection is closed with this code right after the upgrade
    bool ignoreAcknowledgements = false; // nothing is read after the upgrade
    size_t floodBytes = 0;               // not 0: after the file's frames, endless frames of about this size
    size_t writeBytes = 0;    // not 0: ws:// sessions gather frames into socket writes of about this size
    size_t progressEvery = 0; // not 0: the acknowledged count is reported at each multiple of it
};

// The longest client message taken; acknowledgements are identifier lines.
constexpr size_t maxClientPayload = size_t{1} << 20;

using Message = std::shared_ptr<const std::string>;

Message textMessage(std::string_view text)
{
    return std::make_shared<const std::string>(standin::encodeServerMessage(standin::Opcode::text, text));
}

struct Frame {
    std::string identifier;
    std::string source;
    Message message; // encoded once, shared by every delivery
    bool acknowledged = false;
    uint64_t holder = 0; // the session it was delivered to and not yet acknowledged on
};

void report(const std::string& line)
{
    std::cout << line << std::endl;
}

std::vector<Frame> readFrames(const std::string& path)
{
    std::ifstream in(path);
    std::vector<Frame> frames;
    std::string line;
    std::string text;
    const auto flush = [&] {
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        if (text.find_first_not_of(" \n") == std::string::npos) {
            text.clear();
            return;
        }
        text.erase(0, text.find_first_not_of('\n'));
        const tools::FrameText parts = tools::splitFrame(text);
        Frame frame;
        frame.message = textMessage(text);
        frame.identifier = tools::firstLine(text);
        const std::string path =
            parts.header.size() > tools::pathLine ? parts.header[tools::pathLine] : std::string();
        frame.source = path.substr(path.rfind('/') + 1);
        frames.push_back(std::move(frame));
        text.clear();
    };
    while (std::getline(in, line)) {
        if (tools::isFrameSeparator(line))
            flush();
        else
            text += line + "\n";
    }
    flush();
    return frames;
}

std::string queryValue(const std::string& target, const std::string& name)
{
    const size_t query = target.find('?');
    if (query == std::string::npos)
        return "";
    std::istringstream parts(target.substr(query + 1));
    std::string part;
    while (std::getline(parts, part, '&')) {
        if (part.rfind(name + "=", 0) == 0)
            return part.substr(name.size() + 1);
    }
    return "";
}

// A frame of the flood: an alarm whose text makes it about `bytes` long.
std::string floodFrame(uint64_t number, size_t bytes)
{
    const std::string id = std::to_string(number);
    return "f-" + id + "\n/t12345/alarms/4700\nCREATE\n\n" + R"({"id":")" + id +
           R"(","source":{"id":"4700"},"type":"t5o_Alarm","time":"2024-02-01T11:00:00.000Z","status":"ACTIVE",)"
           R"("count":1,"severity":"MAJOR","text":")" +
           std::string(bytes, 'x') + "\"}";
}

class Session {
public:
    virtual ~Session() = default;
    // False when the session takes no more frames.
    virtual bool send(const Message& message) = 0;
    uint64_t id = 0;
    std::string consumer;
    long sent = 0;
};

class Service {
public:
    Service(net::io_context& io, Settings settings) : io_(io), settings_(std::move(settings)), pace_(io)
    {
        frames_ = readFrames(settings_.framesFile);
        for (size_t i = 0; i < frames_.size(); ++i)
            byIdentifier_.emplace(frames_[i].identifier, i);
        if (settings_.waitForConsumers == 0)
            startReleasing();
    }

    const Settings& settings() const { return settings_; }
    uint64_t nextSessionId() { return ++lastSession_; }

    // The status to refuse an upgrade with, or 0 to accept it.
    unsigned screen(uint64_t id, const std::string& target)
    {
        unsigned status = 0;
        if (settings_.busy > 0) {
            --settings_.busy;
            status = 409;
        } else if (!settings_.token.empty() && queryValue(target, "token") != settings_.token) {
            status = 401;
            if (!settings_.rotateTokenFile.empty())
                std::ofstream(settings_.rotateTokenFile) << settings_.token << "\n";
        }
        if (status != 0)
            report("refused " + std::to_string(id) + " " + std::to_string(status));
        return status;
    }

    void join(Session& session)
    {
        sessions_.push_back(&session);
        report("connected " + std::to_string(session.id) + " " + session.consumer);
        if (!releasing_ && sessions_.size() >= settings_.waitForConsumers)
            startReleasing();
        dispatch();
    }

    void leave(Session& session)
    {
        const auto at = std::find(sessions_.begin(), sessions_.end(), &session);
        if (at == sessions_.end())
            return;
        sessions_.erase(at);
        report("closed " + std::to_string(session.id));
        for (Frame& frame : frames_) {
            if (frame.holder == session.id)
                frame.holder = 0;
        }
        dispatch();
    }

    void received(Session& session, const std::string& text)
    {
        if (settings_.floodBytes > 0 && text.rfind("f-", 0) == 0)
            return; // too many to report one by one
        // The platform takes this as the end of the subscription, its backlog dropped.
        if (text == "unsubscribe") {
            report("unsubscribe requested " + std::to_string(session.id));
            return;
        }
        const auto found = byIdentifier_.find(text);
        if (found != byIdentifier_.end()) {
            Frame& frame = frames_[found->second];
            if (frame.holder == session.id && !frame.acknowledged) {
                frame.acknowledged = true;
                frame.holder = 0;
                ++acknowledged_;
                if (settings_.logAcknowledgements)
                    report("acknowledged " + text);
                if (settings_.progressEvery > 0 && acknowledged_ % settings_.progressEvery == 0)
                    report("progress " + std::to_string(acknowledged_));
                if (acknowledged_ == frames_.size()) {
                    report("all acknowledged");
                    if (settings_.untilAcknowledged)
                        io_.stop();
                }
                return;
            }
        }
        report("unexpected " + text);
    }

private:
    void startReleasing()
    {
        releasing_ = true;
        if (settings_.paceMs > 0)
            releaseNext();
        else
            released_ = frames_.size();
    }

    void releaseNext()
    {
        pace_.expires_after(std::chrono::milliseconds(settings_.paceMs));
        pace_.async_wait([this](beast::error_code error) {
            if (error || released_ == frames_.size())
                return;
            ++released_;
            dispatch();
            releaseNext();
        });
    }

    Session* holderFor(const Frame& frame)
    {
        if (sessions_.empty())
            return nullptr;
        if (!settings_.shared)
            return sessions_.front();
        std::vector<Session*> byName(sessions_);
        std::sort(byName.begin(), byName.end(),
                  [](Session* a, Session* b) { return a->consumer < b->consumer; });
        return byName[std::hash<std::string>{}(frame.source) % byName.size()];
    }

    void dispatch()
    {
        for (size_t i = 0; i < released_; ++i) {
            Frame& frame = frames_[i];
            if (frame.acknowledged || frame.holder != 0)
                continue;
            Session* session = holderFor(frame);
            if (session == nullptr)
                return;
            if (!session->send(frame.message))
                return;
            frame.holder = session->id;
        }
    }

    net::io_context& io_;
    Settings settings_;
    net::steady_timer pace_;
    std::vector<Frame> frames_;
    std::unordered_map<std::string, size_t> byIdentifier_;
    size_t released_ = 0;
    bool releasing_ = false;
    size_t acknowledged_ = 0;
    std::vector<Session*> sessions_;
    uint64_t lastSession_ = 0;
};

template <class Layer>
class ServerSession : public Session, public std::enable_shared_from_this<ServerSession<Layer>> {
    static constexpr bool tls = !std::is_same_v<Layer, beast::tcp_stream>;

public:
    template <class... LayerArguments>
    ServerSession(Service& service, LayerArguments&&... layer)
        : service_(service), ws_(std::forward<LayerArguments>(layer)...)
    {
        id = service.nextSessionId();
    }

    void start()
    {
        if constexpr (tls) {
            ws_.next_layer().async_handshake(ssl::stream_base::server,
                                             [self = this->shared_from_this()](beast::error_code error) {
                                                 if (!error)
                                                     self->readRequest();
                                             });
        } else {
            readRequest();
        }
    }

    bool send(const Message& message) override
    {
        const Settings& settings = service_.settings();
        const long limit = id == 1 ? std::max(settings.cutAfter, settings.deafAfter) : -1;
        if (deaf_ || closing_)
            return false;
        if (limit >= 0 && sent >= limit) {
            // Cut: the socket closes under the consumer. Deaf: it stays open, but nothing is read or
            // written any more, so pings go unanswered. Either way its frames go to the next connection.
            deaf_ = true;
            if (settings.cutAfter >= 0)
                beast::get_lowest_layer(ws_).close();
            else
                keepOpen_ = this->shared_from_this();
            net::post(ws_.get_executor(), [self = this->shared_from_this()] { self->end(); });
            return false;
        }
        ++sent;
        queue(message);
        return true;
    }

private:
    void readRequest()
    {
        http::async_read(ws_.next_layer(), buffer_, request_,
                         [self = this->shared_from_this()](beast::error_code error, size_t) {
                             if (!error)
                                 self->screen();
                         });
    }

    void screen()
    {
        const Settings& settings = service_.settings();
        report("request " + std::to_string(id));
        if (settings.silentUpgrade) {
            keepOpen_ = this->shared_from_this();
            return;
        }
        if (settings.garbageUpgrade) {
            auto garbage = std::make_shared<std::string>("\x16\x03 this is not HTTP\r\n\r\n");
            net::async_write(ws_.next_layer(), net::buffer(*garbage),
                             [self = this->shared_from_this(), garbage](beast::error_code, size_t) {
                                 beast::get_lowest_layer(self->ws_).close();
                             });
            return;
        }
        const std::string target(request_.target());
        const unsigned status = service_.screen(id, target);
        if (status != 0) {
            auto response = std::make_shared<http::response<http::string_body>>(
                static_cast<http::status>(status), request_.version());
            response->set(http::field::connection, "close");
            response->body() = "refused\n";
            response->prepare_payload();
            http::async_write(ws_.next_layer(), *response,
                              [self = this->shared_from_this(), response](beast::error_code, size_t) {
                                  beast::get_lowest_layer(self->ws_).close();
                              });
            return;
        }
        consumer = queryValue(target, "consumer");
        ws_.async_accept(request_, [self = this->shared_from_this()](beast::error_code error) {
            if (error)
                return;
            self->accepted();
        });
    }

    void accepted()
    {
        const Settings& settings = service_.settings();
        ws_.text(true);
        if (settings.closeAtOnce != 0) {
            report("closing " + std::to_string(id) + " " + std::to_string(settings.closeAtOnce));
            ws_.async_close(websocket::close_reason(static_cast<websocket::close_code>(settings.closeAtOnce),
                                                    "closing at once"),
                            [self = this->shared_from_this()](beast::error_code) {});
            return;
        }
        service_.join(*this);
        if (!settings.ignoreAcknowledgements)
            read();
        flood();
    }

    // Keeps two flood frames queued at most: the flood goes as fast as the consumer reads.
    void flood()
    {
        const size_t bytes = service_.settings().floodBytes;
        while (bytes > 0 && !deaf_ && !gone_ && !closing_ && outbox_.size() < 2)
            queue(textMessage(floodFrame(++flooded_, bytes)));
    }

    bool gathering() const
    {
        if constexpr (tls)
            return false;
        else
            return service_.settings().writeBytes > 0;
    }

    tcp::socket& socket() { return beast::get_lowest_layer(ws_).socket(); }

    void queue(Message message)
    {
        outbox_.push_back(std::move(message));
        if (outbox_.size() > 1)
            return;
        if (!gathering())
            return writeNext();
        // Later: the rest of this dispatch joins the first write.
        net::post(ws_.get_executor(), [self = this->shared_from_this()] { self->writeGathered(); });
    }

    void read()
    {
        if (gathering())
            return readFrames();
        ws_.async_read(buffer_, [self = this->shared_from_this()](beast::error_code error, size_t) {
            if (error)
                return self->end();
            const std::string text = beast::buffers_to_string(self->buffer_.data());
            self->buffer_.consume(self->buffer_.size());
            if (self->deaf_)
                return; // no more reads: pings go unanswered
            self->service_.received(*self, text);
            self->read();
        });
    }

    // Frames as they come, several per read; the ping and close replies go out between whole messages.
    void readFrames()
    {
        socket().async_read_some(net::buffer(readChunk_),
                                 [self = this->shared_from_this()](beast::error_code error, size_t bytes) {
                                     if (error)
                                         return self->end();
                                     if (self->deaf_)
                                         return;
                                     self->incoming_.append(self->readChunk_.data(), bytes);
                                     if (self->takeFrames())
                                         self->readFrames();
                                 });
    }

    // False when nothing more is to be read: a close, or bytes that are no websocket.
    bool takeFrames()
    {
        size_t used = 0;
        size_t taken = 0;
        standin::ClientFrame frame;
        bool reading = true;
        while (reading) {
            const standin::Parse parse = standin::readClientFrame(std::string_view(incoming_).substr(used),
                                                                  maxClientPayload, frame, taken);
            if (parse == standin::Parse::NeedMore)
                break;
            if (parse == standin::Parse::Malformed)
                return dropConnection();
            used += taken;
            reading = takeFrame(frame);
        }
        incoming_.erase(0, used);
        return reading;
    }

    bool dropConnection()
    {
        socket().close();
        end();
        return false;
    }

    bool takeFrame(standin::ClientFrame& frame)
    {
        switch (frame.opcode) {
        case standin::Opcode::ping:
            reply(standin::Opcode::pong, frame.payload);
            return true;
        case standin::Opcode::close:
            // Nothing may follow the close reply; unsent frames go to the next connection.
            closing_ = true;
            outbox_.erase(outbox_.begin() + static_cast<std::ptrdiff_t>(inWrite_), outbox_.end());
            reply(standin::Opcode::close, frame.payload.substr(0, 2));
            return false;
        case standin::Opcode::pong:
            return true;
        default:
            message_ += frame.payload;
            if (message_.size() > maxClientPayload)
                return dropConnection();
            if (frame.final) {
                service_.received(*this, message_);
                message_.clear();
            }
            return true;
        }
    }

    // Ahead of every frame not yet in a write.
    void reply(standin::Opcode opcode, const std::string& payload)
    {
        const auto at = outbox_.begin() + static_cast<std::ptrdiff_t>(inWrite_);
        outbox_.insert(at,
                       std::make_shared<const std::string>(standin::encodeServerMessage(opcode, payload)));
        if (outbox_.size() == 1)
            writeGathered();
    }

    void writeGathered()
    {
        if (inWrite_ > 0 || outbox_.empty())
            return;
        gathered_.clear();
        for (const Message& message : outbox_) {
            if (inWrite_ > 0 && gathered_.size() + message->size() > service_.settings().writeBytes)
                break;
            gathered_ += *message;
            ++inWrite_;
        }
        net::async_write(socket(), net::buffer(gathered_),
                         [self = this->shared_from_this()](beast::error_code error, size_t) {
                             if (error)
                                 return self->end();
                             self->outbox_.erase(self->outbox_.begin(),
                                                 self->outbox_.begin() +
                                                     static_cast<std::ptrdiff_t>(self->inWrite_));
                             self->inWrite_ = 0;
                             if (self->outbox_.empty() && self->closing_) {
                                 self->socket().close();
                                 return self->end();
                             }
                             self->writeGathered();
                             self->flood();
                         });
    }

    void writeNext()
    {
        ws_.async_write(net::buffer(standin::serverMessagePayload(*outbox_.front())),
                        [self = this->shared_from_this()](beast::error_code error, size_t) {
                            if (error)
                                return self->end();
                            self->outbox_.pop_front();
                            if (!self->outbox_.empty())
                                self->writeNext();
                            self->flood();
                        });
    }

    void end()
    {
        if (gone_)
            return;
        gone_ = true;
        service_.leave(*this);
    }

    Service& service_;
    websocket::stream<Layer> ws_;
    beast::flat_buffer buffer_;
    http::request<http::string_body> request_;
    std::deque<Message> outbox_;
    std::array<char, 64 * 1024> readChunk_;
    std::string incoming_;
    std::string message_;
    std::string gathered_;
    size_t inWrite_ = 0; // the outbox's first frames, in the write under way
    bool closing_ = false;
    bool deaf_ = false;
    bool gone_ = false;
    uint64_t flooded_ = 0;
    std::shared_ptr<ServerSession> keepOpen_;
};

class Listener {
public:
    Listener(net::io_context& io, Service& service, ssl::context* tls)
        : io_(io), service_(service), tls_(tls),
          acceptor_(io, tcp::endpoint(net::ip::make_address("127.0.0.1"), service.settings().port))
    {
        report("listening " + std::to_string(acceptor_.local_endpoint().port()));
        accept();
    }

private:
    void accept()
    {
        acceptor_.async_accept(io_, [this](beast::error_code error, tcp::socket socket) {
            if (error)
                return;
            if (tls_ != nullptr)
                std::make_shared<ServerSession<beast::ssl_stream<beast::tcp_stream>>>(
                    service_, std::move(socket), *tls_)
                    ->start();
            else
                std::make_shared<ServerSession<beast::tcp_stream>>(service_, std::move(socket))->start();
            accept();
        });
    }

    net::io_context& io_;
    Service& service_;
    ssl::context* tls_;
    tcp::acceptor acceptor_;
};

struct Option {
    const char* name;
    const char* value; // null: a flag
    const char* help;
    std::function<void(Settings&, const std::string&)> apply;
};

const std::vector<Option>& options()
{
    static const std::vector<Option> all = {
        {"--frames", "FILE", "the frames to serve, in the capture format (required)",
         [](Settings& s, const std::string& v) { s.framesFile = v; }},
        {"--port", "N", "port on 127.0.0.1 (default: any free one, reported)",
         [](Settings& s, const std::string& v) { s.port = static_cast<unsigned short>(std::stoi(v)); }},
        {"--token", "T", "accept only token T; others get 401",
         [](Settings& s, const std::string& v) { s.token = v; }},
        {"--rotate-token", "FILE", "on a refused token, write the accepted one to FILE first",
         [](Settings& s, const std::string& v) { s.rotateTokenFile = v; }},
        {"--busy", "N", "answer the first N upgrades 409, as a subscription held elsewhere",
         [](Settings& s, const std::string& v) { s.busy = std::stoi(v); }},
        {"--cut-after", "N", "cut the first connection's socket after N frames",
         [](Settings& s, const std::string& v) { s.cutAfter = std::stol(v); }},
        {"--deaf-after", "N", "after N frames the first connection neither reads nor writes",
         [](Settings& s, const std::string& v) { s.deafAfter = std::stol(v); }},
        {"--pace-ms", "MS", "one more frame becomes available every MS (default: all at once)",
         [](Settings& s, const std::string& v) { s.paceMs = std::stoi(v); }},
        {"--wait-for-consumers", "N", "release no frame before N consumers are connected",
         [](Settings& s, const std::string& v) { s.waitForConsumers = std::stoul(v); }},
        {"--shared", nullptr, "split frames by source among consumers, as a shared subscription",
         [](Settings& s, const std::string&) { s.shared = true; }},
        {"--until-acknowledged", nullptr, "exit once every frame is acknowledged",
         [](Settings& s, const std::string&) { s.untilAcknowledged = true; }},
        {"--log-acks", nullptr, "report each acknowledgement",
         [](Settings& s, const std::string&) { s.logAcknowledgements = true; }},
        {"--tls", "CERT KEY", "serve wss:// with this certificate chain and key (PEM)", nullptr},
        {"--silent-upgrade", nullptr, "read upgrade requests and never answer them",
         [](Settings& s, const std::string&) { s.silentUpgrade = true; }},
        {"--garbage-upgrade", nullptr, "answer upgrade requests with bytes that are not HTTP",
         [](Settings& s, const std::string&) { s.garbageUpgrade = true; }},
        {"--close-at-once", "CODE", "accept each upgrade, then close at once with CODE",
         [](Settings& s, const std::string& v) { s.closeAtOnce = std::stoi(v); }},
        {"--ignore-acks", nullptr, "never read from a connection after its upgrade",
         [](Settings& s, const std::string&) { s.ignoreAcknowledgements = true; }},
        {"--write-bytes", "BYTES",
         "ws:// only: gather frames into socket writes of about BYTES (default: one each)",
         [](Settings& s, const std::string& v) { s.writeBytes = std::stoul(v); }},
        {"--progress", "N", "report the acknowledged count at every multiple of N",
         [](Settings& s, const std::string& v) { s.progressEvery = std::stoul(v); }},
        {"--flood", "BYTES", "after the file's frames, send frames f-1, f-2... of about BYTES, endlessly",
         [](Settings& s, const std::string& v) { s.floodBytes = std::stoul(v); }},
    };
    return all;
}

std::string usage()
{
    std::string text = "Usage: tessaro-service-standin --frames FILE [options]\n"
                       "A stand-in of the websocket notification service on 127.0.0.1, for tests and demos.\n"
                       "An acknowledgement is a frame's identifier line sent back on the connection that\n"
                       "delivered it; unacknowledged frames go again to whoever consumes next.\n\n";
    for (const Option& option : options()) {
        std::string left = std::string("  ") + option.name +
                           (option.value != nullptr ? std::string(" ") + option.value : "");
        left.resize(std::max<size_t>(left.size() + 1, 28), ' ');
        text += left + option.help + "\n";
    }
    text += "  --help                    this text\n\n"
            "It reports on standard output, one line per event:\n"
            "  listening PORT | request N | connected N CONSUMER | refused N STATUS | closing N CODE\n"
            "  closed N | acknowledged ID (with --log-acks) | unsubscribe requested N\n"
            "  unexpected TEXT | progress COUNT (with --progress) | all acknowledged\n"
            "Exit status: 0 on SIGINT/SIGTERM or --until-acknowledged, 2 for a usage error.\n";
    return text;
}

enum class Parsed { Run, Help, Error };

Parsed parseArguments(int argc, char** argv, Settings& settings)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help")
            return Parsed::Help;
        const auto option = std::find_if(options().begin(), options().end(),
                                         [&name](const Option& known) { return name == known.name; });
        if (option == options().end())
            return Parsed::Error;
        const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        try {
            if (name == "--tls") {
                settings.certificate = value();
                settings.key = value();
            } else {
                option->apply(settings, option->value != nullptr ? value() : "");
            }
        } catch (const std::exception&) {
            return Parsed::Error;
        }
    }
    return settings.framesFile.empty() ? Parsed::Error : Parsed::Run;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << "tessaro-service-standin " TESSARO_TOOL_VERSION "\n";
        return 0;
    }
    Settings settings;
    const Parsed parsed = parseArguments(argc, argv, settings);
    if (parsed == Parsed::Help) {
        std::cout << usage();
        return 0;
    }
    if (parsed == Parsed::Error) {
        std::cerr << usage();
        return 2;
    }
    net::io_context io;
    std::unique_ptr<ssl::context> tls;
    if (!settings.certificate.empty()) {
        tls = std::make_unique<ssl::context>(ssl::context::tls_server);
        tls->use_certificate_chain_file(settings.certificate);
        tls->use_private_key_file(settings.key, ssl::context::pem);
    }
    Service service(io, settings);
    Listener listener(io, service, tls.get());
    net::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&io](beast::error_code, int) { io.stop(); });
    io.run();
    return 0;
}
