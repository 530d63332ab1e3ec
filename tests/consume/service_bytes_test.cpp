// Bytes to and from the service: text frames are read as binary whatever their content, however the
// bytes are split by the socket, and many at a time; frames written while held leave in one socket write.
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

// The bytes as the service sends them, and as they must be handed on.
struct Stream {
    Bytes sent;
    Bytes relabeled;
};

void addFrame(Stream& stream, unsigned char first, size_t size, bool masked = false)
{
    const int lengthBytes = size < 126 ? 0 : size <= 0xffff ? 2 : 8;
    Bytes frame{first, static_cast<unsigned char>(lengthBytes == 0 ? size : lengthBytes == 2 ? 126 : 127)};
    frame[1] |= masked ? 0x80 : 0;
    for (int shift = 8 * (lengthBytes - 1); shift >= 0; shift -= 8)
        frame.push_back(static_cast<unsigned char>(static_cast<uint64_t>(size) >> shift));
    if (masked)
        frame.insert(frame.end(), {0x81, 0x01, 0x82, 0x02});
    // A payload that would look like frame headers if the parser lost its place.
    for (size_t i = 0; i < size; ++i)
        frame.push_back(i % 2 == 0 ? 0x81 : 0xff);
    stream.sent.insert(stream.sent.end(), frame.begin(), frame.end());
    if ((first & 0x0f) == 0x1)
        frame[0] = static_cast<unsigned char>((first & 0xf0) | 0x2);
    stream.relabeled.insert(stream.relabeled.end(), frame.begin(), frame.end());
}

Stream upgradeAndFrames()
{
    const std::string head = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n";
    Stream stream{Bytes(head.begin(), head.end()), Bytes(head.begin(), head.end())};
    addFrame(stream, 0x81, 5);       // text, short
    addFrame(stream, 0x81, 300);     // text, 16-bit length
    addFrame(stream, 0x82, 7);       // binary
    addFrame(stream, 0x89, 4);       // ping
    addFrame(stream, 0x01, 3);       // text, first fragment
    addFrame(stream, 0x80, 3);       // its continuation
    addFrame(stream, 0x81, 70000);   // text, 64-bit length
    addFrame(stream, 0x81, 0);       // text, empty
    addFrame(stream, 0x81, 9, true); // text, masked
    addFrame(stream, 0x88, 2);       // close
    return stream;
}

// Takes and gives at most limit bytes at a time, recording each write; the end of incoming ends the stream.
class RecordingSocket {
public:
    using executor_type = net::io_context::executor_type;
    RecordingSocket(net::io_context& io, size_t limit) : io_(io), limit_(limit) {}
    executor_type get_executor() { return io_.get_executor(); }
    template <class Buffers, class Handler> void async_write_some(const Buffers& buffers, Handler&& handler)
    {
        std::string bytes(std::min(limit_, net::buffer_size(buffers)), '\0');
        net::buffer_copy(net::buffer(bytes), buffers);
        writes.push_back(bytes);
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
    std::vector<std::string> writes;

private:
    net::io_context& io_;
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
        consume::TextAsBinaryStream<RecordingSocket> stream(io, c.socketLimit);
        const std::vector<std::string>& onSocket = stream.next_layer().writes;
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
            EXPECT_EQ(onSocket.size() > socketWritesBefore, !held) << bytes;
        }
        EXPECT_EQ(onSocket, c.onSocket);
    }
}

// However the socket splits the bytes, and however little the websocket stream asks for at a time, every
// byte is handed on in order, text frames relabeled and nothing else; a socket read takes all the socket
// gives, up to the read-ahead.
TEST(RelabelingStream, ReadsAheadAndHandsOnEveryByteRelabeledHoweverTheSocketSplitsThem)
{
    const Stream original = upgradeAndFrames();
    for (const size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}, size_t{1} << 20}) {
        SCOPED_TRACE("socket reads of " + std::to_string(chunk));
        net::io_context io;
        consume::TextAsBinaryStream<RecordingSocket> stream(io, chunk);
        stream.next_layer().incoming = original.sent;
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
        EXPECT_TRUE(received == original.relabeled);
        const size_t perRead = std::min(chunk, consume::TextAsBinaryStream<RecordingSocket>::aheadBytes);
        EXPECT_EQ(stream.next_layer().reads, (original.sent.size() + perRead - 1) / perRead + 1);
    }
}

} // namespace
