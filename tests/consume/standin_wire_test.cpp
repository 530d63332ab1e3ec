// The framing the service stand-in reads and writes itself when it gathers frames: a wrong length
// boundary or mask offset there loses acknowledgements, and the benchmark waits forever.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/support/host_test.h"
#include "tools/service-standin/websocket_wire.h"

namespace {

using standin::Opcode;
using standin::Parse;

class StandinWire : public testing_support::HostTest {};

// A client's frame: masked, with the length in the shortest form that holds it.
std::string clientFrame(uint8_t first, const std::string& payload)
{
    const std::string server = standin::encodeServerMessage(Opcode::text, payload);
    const size_t header = server.size() - payload.size();
    const std::string mask = "\x1f\x80\x3c\xe5";
    std::string frame = server.substr(0, header) + mask;
    frame[0] = static_cast<char>(first);
    frame[1] = static_cast<char>(frame[1] | 0x80);
    for (size_t i = 0; i < payload.size(); ++i)
        frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    return frame;
}

TEST_F(StandinWire, LengthsAtEachBoundaryReadBackWholeAndOnlyOnceComplete)
{
    for (const size_t size : {0, 125, 126, 65535, 65536}) {
        SCOPED_TRACE(size);
        std::string payload(size, 'a');
        for (size_t i = 0; i < size; ++i)
            payload[i] = static_cast<char>('a' + i % 26);

        const std::string server = standin::encodeServerMessage(Opcode::text, payload);
        EXPECT_EQ(static_cast<uint8_t>(server[0]), 0x81);
        EXPECT_EQ(server.size() - size, size < 126 ? 2u : size <= 65535 ? 4u : 10u);
        EXPECT_EQ(standin::serverMessagePayload(server), payload);

        const std::string bytes = clientFrame(0x01, payload) + clientFrame(0x89, "next");
        standin::ClientFrame frame;
        size_t taken = 0;
        const size_t length = bytes.size() - clientFrame(0x89, "next").size();
        for (const size_t cut : {size_t{0}, size_t{1}, length / 2, length - 1})
            EXPECT_EQ(standin::readClientFrame(bytes.substr(0, cut), 1 << 20, frame, taken), Parse::NeedMore);
        const auto read = [&] { return std::tie(frame.opcode, frame.final, frame.payload); };
        ASSERT_EQ(standin::readClientFrame(bytes, 1 << 20, frame, taken), Parse::Frame);
        EXPECT_EQ(taken, length);
        EXPECT_EQ(read(), std::make_tuple(Opcode::text, false, payload));
        ASSERT_EQ(standin::readClientFrame(bytes.substr(taken), 1 << 20, frame, taken), Parse::Frame);
        EXPECT_EQ(read(), std::make_tuple(Opcode::ping, true, "next"));
    }
}

TEST_F(StandinWire, FramesNoClientSendsAreRefusedBeforeTheirPayloadArrives)
{
    std::string unmasked = standin::encodeServerMessage(Opcode::text, "f-1");
    std::string reserved = clientFrame(0xc1, "f-1");
    std::string oversized = clientFrame(0x81, std::string(300, 'x')).substr(0, 8);
    standin::ClientFrame frame;
    size_t taken = 0;
    EXPECT_EQ(standin::readClientFrame(unmasked, 1 << 20, frame, taken), Parse::Malformed);
    EXPECT_EQ(standin::readClientFrame(reserved, 1 << 20, frame, taken), Parse::Malformed);
    EXPECT_EQ(standin::readClientFrame(oversized, 299, frame, taken), Parse::Malformed);
}

} // namespace
