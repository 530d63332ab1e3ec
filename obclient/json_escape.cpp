#include "obclient/json_escape.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace obclient::json {
namespace {

constexpr uint64_t inEveryByte(uint8_t byte)
{
    return 0x0101010101010101ULL * byte;
}

// Nonzero when one of the eight bytes is a control character, a quote or a backslash: the
// classic word-at-a-time tests for a byte below a bound and for a byte equal to zero.
uint64_t needsEscapeInWord(uint64_t bytes)
{
    const uint64_t belowSpace = (bytes - inEveryByte(0x20)) & ~bytes;
    const uint64_t quote = bytes ^ inEveryByte('"');
    const uint64_t backslash = bytes ^ inEveryByte('\\');
    const uint64_t isQuote = (quote - inEveryByte(1)) & ~quote;
    const uint64_t isBackslash = (backslash - inEveryByte(1)) & ~backslash;
    return (belowSpace | isQuote | isBackslash) & inEveryByte(0x80);
}

// The same three kinds of byte, looked up one at a time.
constexpr std::array<bool, 256> escapedBytes = [] {
    std::array<bool, 256> escaped{};
    for (size_t byte = 0; byte < 0x20; ++byte)
        escaped[byte] = true;
    escaped['"'] = true;
    escaped['\\'] = true;
    return escaped;
}();

// Texts are mostly plain: they are scanned eight bytes at a time and copied in whole runs.
const char* endOfPlainRun(const char* text, const char* end)
{
    for (; end - text >= 8; text += 8) {
        uint64_t bytes;
        std::memcpy(&bytes, text, sizeof bytes);
        if (needsEscapeInWord(bytes) != 0)
            break;
    }
    while (text != end && !escapedBytes[static_cast<unsigned char>(*text)])
        ++text;
    return text;
}

void appendEscapedByte(std::string& out, unsigned char byte)
{
    switch (byte) {
    case '"':
        out.append("\\\"", 2);
        break;
    case '\\':
        out.append("\\\\", 2);
        break;
    case '\n':
        out.append("\\n", 2);
        break;
    case '\r':
        out.append("\\r", 2);
        break;
    case '\t':
        out.append("\\t", 2);
        break;
    case '\b':
        out.append("\\b", 2);
        break;
    case '\f':
        out.append("\\f", 2);
        break;
    default:
        out.append("\\u00", 4);
        out.push_back(hexDigits[byte >> 4]);
        out.push_back(hexDigits[byte & 0xF]);
        break;
    }
}

} // namespace

void appendEscaped(std::string& out, const char* text)
{
    const char* end = text + std::strlen(text);
    out.push_back('"');
    for (;;) {
        const char* runEnd = endOfPlainRun(text, end);
        out.append(text, static_cast<size_t>(runEnd - text));
        if (runEnd == end)
            break;
        appendEscapedByte(out, static_cast<unsigned char>(*runEnd));
        text = runEnd + 1;
    }
    out.push_back('"');
}

} // namespace obclient::json
