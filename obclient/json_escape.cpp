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

// The lowest flagged byte is the first control character, quote or backslash of the eight (flags
// above it may be false, carried from it): the classic word-at-a-time tests for a byte below a
// bound and for a byte equal to zero.
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

// Whole words are stored even when only their first bytes are plain, so the room holds a
// word more than the text.
constexpr size_t wordSlack = 8;

uint64_t loadWord(const char* text)
{
    uint64_t bytes;
    std::memcpy(&bytes, text, sizeof bytes);
    return bytes;
}

// Copies the plain bytes at the start of [text, end) to `to` and returns how many there were.
// Texts are mostly plain, so they are scanned and copied eight bytes at a time; a text that
// ends inside a word is finished with the word that ends it, never reading past its end.
size_t copyPlainRun(const char* text, const char* end, char* to)
{
    const size_t length = static_cast<size_t>(end - text);
    size_t done = 0;
    for (; length - done >= 8; done += 8) {
        const uint64_t bytes = loadWord(text + done);
        std::memcpy(to + done, &bytes, sizeof bytes);
        if (const uint64_t flags = needsEscapeInWord(bytes); flags != 0)
            return done + static_cast<size_t>(__builtin_ctzll(flags)) / 8;
    }
    const size_t left = length - done;
    if (left == 0)
        return done;
    if (length >= 8) {
        // The last word of the text, its bytes already copied shifted out.
        const uint64_t bytes = loadWord(end - 8) >> (8 * (8 - left));
        std::memcpy(to + done, &bytes, sizeof bytes);
        const uint64_t flags = needsEscapeInWord(bytes) & (~0ULL >> (8 * (8 - left)));
        return done + (flags != 0 ? static_cast<size_t>(__builtin_ctzll(flags)) / 8 : left);
    }
    for (; done != length && !escapedBytes[static_cast<unsigned char>(text[done])]; ++done)
        to[done] = text[done];
    return done;
}

// The longest escape is \u00XX.
constexpr size_t longestEscape = 6;

char* writeEscape(char* to, unsigned char byte)
{
    char second;
    switch (byte) {
    case '"':
        second = '"';
        break;
    case '\\':
        second = '\\';
        break;
    case '\n':
        second = 'n';
        break;
    case '\r':
        second = 'r';
        break;
    case '\t':
        second = 't';
        break;
    case '\b':
        second = 'b';
        break;
    case '\f':
        second = 'f';
        break;
    default:
        std::memcpy(to, "\\u00", 4);
        to[4] = hexDigits[byte >> 4];
        to[5] = hexDigits[byte & 0xF];
        return to + 6;
    }
    to[0] = '\\';
    to[1] = second;
    return to + 2;
}

} // namespace

void appendEscaped(OutputCursor& out, const char* text)
{
    const char* end = text + std::strlen(text);
    char* to = out.room(static_cast<size_t>(end - text) + 2 + wordSlack);
    *to++ = '"';
    for (;;) {
        const size_t plain = copyPlainRun(text, end, to);
        to += plain;
        text += plain;
        if (text == end)
            break;
        out.advance(to);
        to = out.room(longestEscape + static_cast<size_t>(end - text) + 1 + wordSlack);
        to = writeEscape(to, static_cast<unsigned char>(*text++));
    }
    *to++ = '"';
    out.advance(to);
}

} // namespace obclient::json
