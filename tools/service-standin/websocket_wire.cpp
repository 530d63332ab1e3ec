#include "tools/service-standin/websocket_wire.h"

namespace standin {

namespace {

constexpr uint8_t finalBit = 0x80;
constexpr uint8_t reservedBits = 0x70;
constexpr uint8_t maskBit = 0x80;
constexpr uint8_t lengthBits = 0x7f;
constexpr uint8_t twoByteLength = 126;
constexpr uint8_t eightByteLength = 127;
constexpr size_t maskBytes = 4;

void appendBigEndian(std::string& out, uint64_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

uint64_t readBigEndian(std::string_view bytes, size_t at, int count)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

} // namespace

std::string encodeServerMessage(Opcode opcode, std::string_view payload)
{
    std::string message;
    message.reserve(payload.size() + 10);
    message += static_cast<char>(finalBit | static_cast<uint8_t>(opcode));
    if (payload.size() < twoByteLength) {
        message += static_cast<char>(payload.size());
    } else if (payload.size() <= 0xffff) {
        message += static_cast<char>(twoByteLength);
        appendBigEndian(message, payload.size(), 2);
    } else {
        message += static_cast<char>(eightByteLength);
        appendBigEndian(message, payload.size(), 8);
    }
    message += payload;
    return message;
}

std::string_view serverMessagePayload(const std::string& message)
{
    const uint8_t length = static_cast<uint8_t>(message[1]) & lengthBits;
    const size_t header = length == twoByteLength ? 4 : length == eightByteLength ? 10 : 2;
    return std::string_view(message).substr(header);
}

Parse readClientFrame(std::string_view bytes, size_t maxPayload, ClientFrame& frame, size_t& taken)
{
    if (bytes.size() < 2)
        return Parse::NeedMore;
    const uint8_t first = static_cast<uint8_t>(bytes[0]);
    const uint8_t second = static_cast<uint8_t>(bytes[1]);
    if ((first & reservedBits) != 0)
        return Parse::Malformed;
    size_t header = 2;
    uint64_t length = second & lengthBits;
    if (length == twoByteLength || length == eightByteLength) {
        const int lengthBytes = length == twoByteLength ? 2 : 8;
        if (bytes.size() < header + lengthBytes)
            return Parse::NeedMore;
        length = readBigEndian(bytes, header, lengthBytes);
        header += lengthBytes;
    }
    if (length > maxPayload)
        return Parse::Malformed;
    // A client masks every frame; one that does not is no client to keep talking to.
    if ((second & maskBit) == 0)
        return Parse::Malformed;
    const size_t mask = header;
    header += maskBytes;
    if (bytes.size() < header + length)
        return Parse::NeedMore;
    frame.opcode = static_cast<Opcode>(first & 0x0f);
    frame.final = (first & finalBit) != 0;
    frame.payload.assign(bytes.substr(header, length));
    for (size_t i = 0; i < length; ++i)
        frame.payload[i] = static_cast<char>(frame.payload[i] ^ bytes[mask + i % maskBytes]);
    taken = header + length;
    return Parse::Frame;
}

} // namespace standin
