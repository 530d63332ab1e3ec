// The websocket wire format where the stand-in writes it itself: messages it sends whole, and the
// frames a client sends, for the sessions that gather many messages into one socket write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

enum class Opcode : uint8_t {
    continuation = 0x0,
    text = 0x1,
    binary = 0x2,
    close = 0x8,
    ping = 0x9,
    pong = 0xA
};

// One unfragmented, unmasked message, as a server sends it.
std::string encodeServerMessage(Opcode opcode, std::string_view payload);

// The payload of a message encodeServerMessage made.
std::string_view serverMessagePayload(const std::string& message);

struct ClientFrame {
    Opcode opcode = Opcode::continuation;
    bool final = false;
    std::string payload; // unmasked
};

enum class Parse { Frame, NeedMore, Malformed };

// Reads the first complete frame of `bytes` into `frame` and its length into `taken`; the caller drops
// the bytes once per read, not once per frame. Malformed: an unmasked frame, one longer than `maxPayload`
// or one with a reserved bit set; the connection is not worth keeping then.
Parse readClientFrame(std::string_view bytes, size_t maxPayload, ClientFrame& frame, size_t& taken);

} // namespace standin
