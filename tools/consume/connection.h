// The seam between the consumer's logic and the socket: a Connection moves bytes,
// ConnectionEvents is told what happened. Everything the socket side reports carries
// the connection's number, so news from a connection already given up is recognised
// and ignored. All calls both ways happen on the event loop's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace consume {

// Why a connection ended, named as the operator should read it; text is the summary's key (null: detail
// is, as for "refused with HTTP 502", where the status is the cause).
struct EndCause {
    const char* text;
    std::string detail; // what the library or the service said, for the log; may be empty
};

class ConnectionEvents {
public:
    // The upgrade succeeded: frames may follow.
    virtual void opened(uint64_t id) = 0;
    // The service answered the upgrade with an HTTP status other than 101.
    virtual void refused(uint64_t id, unsigned status) = 0;
    virtual void failed(uint64_t id, EndCause cause) = 0;
    // One whole message. False: the connection reads no further until resume().
    // text lasts until the call returns.
    virtual bool frameArrived(uint64_t id, std::string_view text) = 0;
    // A message past the read limit, read through and dropped; identifier is its first line, if it had one
    // within the part looked at. False as for frameArrived.
    virtual bool frameTooLarge(uint64_t id, std::string identifier, uint64_t size) = 0;
    // The next count texts handed to send() have left.
    virtual void acknowledgementsSent(uint64_t id, size_t count) = 0;
    // The normal close asked for by close() is done.
    virtual void closed(uint64_t id) = 0;

protected:
    ~ConnectionEvents() = default;
};

class Connection {
public:
    virtual ~Connection() = default;
    // Connects and upgrades on target (path and query); reports opened, refused or failed.
    virtual void open(const std::string& target) = 0;
    // Sends one text message after those already queued.
    virtual void send(std::string text) = 0;
    // Reads again after frameArrived returned false; nothing when reading.
    virtual void resume() = 0;
    // A normal close once everything queued is sent; reports closed (or failed).
    virtual void close() = 0;
    // Gives up at once; nothing more is reported.
    virtual void abandon() = 0;
};

using ConnectionFactory = std::function<std::shared_ptr<Connection>(uint64_t id, ConnectionEvents& events)>;

} // namespace consume
