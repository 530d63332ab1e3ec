// Bytes to and from the service: text frames are read as binary whatever their content,
// however the bytes are split by the socket, and many at a time; frames written while held
// leave in one socket write, in order.
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/host_test.h"
#include "tools/consume/relabeling_stream.h"

namespace {

namespace net = boost::asio;
using Bytes = std::vector<unsigned char>;

struct Stream {
    Bytes bytes;
    std::vector<size_t> opcodeAt;    // header bytes that must turn from text to binary
    std::vector<size_t> untouchedAt; // header bytes that must stay as they are
};

void addFrame(Stream& stream, unsigned char first, const Bytes& payload, bool masked = false)
{
    const size_t at = stream.bytes.size();
    ((first & 0x0f) == 0x1 ? stream.opcodeAt : stream.untouchedAt).push_back(at);
    stream.bytes.push_back(first);
    const unsigned char mask = masked ? 0x80 : 0;
    if (payload.size() < 126) {
        stream.bytes.push_back(static_cast<unsigned char>(mask | payload.size()));
    } else if (payload.size() <= 0xffff) {
        stream.bytes.push_back(mask | 126);
        for (int shift = 8; shift >= 0; shift -= 8)
            stream.bytes.push_back(static_cast<unsigned char>(payload.size() >> shift));
    } else {
        stream.bytes.push_back(mask | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            stream.bytes.push_back(
                static_cast<unsigned char>(static_cast<uint64_t>(payload.size()) >> shift));
    }
    if (masked)
        stream.bytes.insert(stream.bytes.end(), {0x81, 0x01, 0x82, 0x02});
    stream.bytes.insert(stream.bytes.end(), payload.begin(), payload.end());
}

// Payloads full of bytes that would look like frame headers if the parser lost its place.
Bytes payloadOf(size_t size)
{
    Bytes payload(size);
    for (size_t i = 0; i < size; ++i)
        payload[i] = static_cast<unsigned char>(i % 2 == 0 ? 0x81 : 0xff);
    return payload;
}

Stream upgradeAndFrames()
{
    Stream stream;
    const std::string head = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n";
    stream.bytes.assign(head.begin(), head.end());
    addFrame(stream, 0x81, payloadOf(5));       // text, short
    addFrame(stream, 0x81, payloadOf(300));     // text, 16-bit length
    addFrame(stream, 0x82, payloadOf(7));       // binary
    addFrame(stream, 0x89, payloadOf(4));       // ping
    addFrame(stream, 0x01, payloadOf(3));       // text, first fragment
    addFrame(stream, 0x80, payloadOf(3));       // its continuation
    addFrame(stream, 0x81, payloadOf(70000));   // text, 64-bit length
    addFrame(stream, 0x81, payloadOf(0));       // text, empty
    addFrame(stream, 0x81, payloadOf(9), true); // text, masked
    addFrame(stream, 0x88, payloadOf(2));       // close
    return stream;
}

Bytes relabeled(const Stream& original)
{
    Bytes expected = original.bytes;
    for (const size_t at : original.opcodeAt)
        expected[at] = static_cast<unsigned char>((expected[at] & 0xf0) | 0x2);
    return expected;
}

TEST(TextFrameRelabeler, TurnsEveryTextFrameBinaryAndNothingElseHoweverTheBytesAreSplit)
{
    const Stream original = upgradeAndFrames();
    const Bytes expected = relabeled(original);
    for (const size_t chunk :
         {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}, original.bytes.size()}) {
        SCOPED_TRACE("chunks of " + std::to_string(chunk));
        Bytes bytes = original.bytes;
        consume::TextFrameRelabeler relabeler;
        for (size_t at = 0; at < bytes.size(); at += chunk)
            relabeler.pass(bytes.data() + at, std::min(chunk, bytes.size() - at));
        ASSERT_EQ(bytes.size(), expected.size());
        size_t differences = 0;
        for (size_t i = 0; i < bytes.size(); ++i)
            differences += bytes[i] != expected[i];
        EXPECT_EQ(differences, 0u);
    }
}

// Takes at most limit bytes per write, and records each write; gives what is incoming, at most limit bytes
// per read, then the end of the stream.
class RecordingSocket {
public:
    using executor_type = net::io_context::executor_type;
    RecordingSocket(net::io_context& io, std::vector<std::string>& writes, size_t limit)
        : io_(io), writes_(writes), limit_(limit)
    {}
    executor_type get_executor() { return io_.get_executor(); }
    template <class Buffers, class Handler> void async_write_some(const Buffers& buffers, Handler&& handler)
    {
        std::string bytes(std::min(limit_, net::buffer_size(buffers)), '\0');
        net::buffer_copy(net::buffer(bytes), buffers);
        writes_.push_back(bytes);
        net::post(io_, [handler = std::move(handler), size = bytes.size()]() mutable {
            handler(consume::beast::error_code{}, size);
        });
    }

    template <class Buffers, class Handler> void async_read_some(const Buffers& buffers, Handler&& handler)
    {
        ++reads;
        const size_t size =
            net::buffer_copy(buffers, net::buffer(incoming.data(), std::min(limit_, incoming.size())));
        incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(size));
        net::post(io_, [handler = std::move(handler), size]() mutable {
            handler(size == 0 ? net::error::eof : consume::beast::error_code{}, size);
        });
    }

    Bytes incoming;
    size_t reads = 0;

private:
    net::io_context& io_;
    std::vector<std::string>& writes_;
    size_t limit_;
};

// Held writes complete at once and reach the socket only with the next unheld one, all of it however little
// the socket takes a write; unheld ones pass straight through.
TEST(RelabelingStream, HeldWritesLeaveWithTheNextUnheldOneInOrderAndInFull)
{
    const struct {
        size_t socketLimit;
        std::vector<std::pair<std::string, bool>> writes; // bytes, held
        std::vector<std::string> onSocket;
    } cases[] = {
        {100,
         {{"a-1", false}, {"a-2", true}, {"PING", true}, {"a-3", false}, {"PONG", false}},
         {"a-1", "a-2PINGa-3", "PONG"}},
        {4, {{"a-1", true}, {"a-22", false}}, {"a-1a", "-22"}},
    };
    for (const auto& c : cases) {
        net::io_context io;
        std::vector<std::string> onSocket;
        consume::TextAsBinaryStream<RecordingSocket> stream(io, onSocket, c.socketLimit);
        for (const auto& [bytes, held] : c.writes) {
            stream.hold(held);
            const size_t socketWritesBefore = onSocket.size();
            size_t reported = 0;
            stream.async_write_some(net::buffer(bytes), [&](consume::beast::error_code error, size_t size) {
                EXPECT_FALSE(error);
                reported = size;
            });
            io.restart();
            io.run();
            EXPECT_EQ(reported, bytes.size()) << bytes;
            if (held) {
                EXPECT_EQ(onSocket.size(), socketWritesBefore) << bytes;
            }
        }
        EXPECT_EQ(onSocket, c.onSocket);
    }
}

// However little the websocket stream asks for at a time, a socket read takes all the socket gives (up to
// the read-ahead), and every byte is handed on, relabeled, in order.
TEST(RelabelingStream, ReadsAheadAndHandsOnEveryByteRelabeled)
{
    const Stream original = upgradeAndFrames();
    net::io_context io;
    std::vector<std::string> writes;
    consume::TextAsBinaryStream<RecordingSocket> stream(io, writes, 1 << 20);
    stream.next_layer().incoming = original.bytes;
    Bytes received;
    unsigned char space[1536];
    std::function<void()> readNext = [&] {
        stream.async_read_some(net::buffer(space), [&](consume::beast::error_code error, size_t size) {
            received.insert(received.end(), space, space + size);
            if (!error)
                readNext();
        });
    };
    readNext();
    io.run();
    EXPECT_TRUE(received == relabeled(original));
    const size_t aheadBytes = consume::TextAsBinaryStream<RecordingSocket>::aheadBytes;
    EXPECT_EQ(stream.next_layer().reads, (original.bytes.size() + aheadBytes - 1) / aheadBytes + 1);
}

} // namespace
