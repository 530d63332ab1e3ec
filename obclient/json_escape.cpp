#include "obclient/json_escape.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "obclient/record_pool.h"

namespace obclient::json {
namespace {

template <typename Word> constexpr Word inEveryByte(uint8_t byte)
{
    return static_cast<Word>(~Word{0} / 0xFF * byte);
}

// The lowest flagged byte is the first control character, quote or backslash of the word (flags
// above it may be false, carried from it): the classic word-at-a-time tests for a byte below a
// bound and for a byte equal to zero.
template <typename Word> Word needsEscapeInWord(Word bytes)
{
    const Word belowSpace = (bytes - inEveryByte<Word>(0x20)) & ~bytes;
    const Word quote = bytes ^ inEveryByte<Word>('"');
    const Word backslash = bytes ^ inEveryByte<Word>('\\');
    const Word isQuote = (quote - inEveryByte<Word>(1)) & ~quote;
    const Word isBackslash = (backslash - inEveryByte<Word>(1)) & ~backslash;
    return (belowSpace | isQuote | isBackslash) & inEveryByte<Word>(0x80);
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

// Sixteen bytes tested at once; the compiler makes vector instructions of it where there are any.
using Block = uint8_t __attribute__((vector_size(16)));

// Where the first byte that needs an escape is in a word, or the word's size when none does.
template <typename Word> size_t firstEscapeIn(Word bytes)
{
    const Word flags = needsEscapeInWord(bytes);
    return flags != 0 ? static_cast<size_t>(__builtin_ctzll(flags)) / 8 : sizeof(Word);
}

size_t firstEscapeIn(Block bytes)
{
    const auto flags = (bytes < 0x20) | (bytes == '"') | (bytes == '\\');
    uint64_t halves[2];
    std::memcpy(halves, &flags, sizeof halves);
    if (halves[0] != 0)
        return static_cast<size_t>(__builtin_ctzll(halves[0])) / 8;
    if (halves[1] != 0)
        return 8 + static_cast<size_t>(__builtin_ctzll(halves[1])) / 8;
    return sizeof(Block);
}

// Copies the word at `from` to `to` and returns where its first byte that needs an escape is.
template <typename Word> size_t copyWord(const char* from, char* to)
{
    Word bytes;
    std::memcpy(&bytes, from, sizeof bytes);
    std::memcpy(to, &bytes, sizeof bytes);
    return firstEscapeIn(bytes);
}

// Texts are mostly plain: they are scanned and copied a word at a time, the last word ending
// where the text ends and overlapping plain bytes already copied, so nothing is read past the
// text and no byte is handled on its own. Needs length >= sizeof(Word).
template <typename Word> size_t copyPlainWords(const char* text, size_t length, char* to)
{
    constexpr size_t wordSize = sizeof(Word);
    size_t done = 0;
    for (; length - done > wordSize; done += wordSize) {
        if (const size_t plain = copyWord<Word>(text + done, to + done); plain != wordSize)
            return done + plain;
    }
    done = length - wordSize;
    return done + copyWord<Word>(text + done, to + done);
}

// Copies the plain bytes at the start of [text, end) to `to` and returns how many there were.
size_t copyPlainRun(const char* text, const char* end, char* to)
{
    const auto length = static_cast<size_t>(end - text);
    if (length >= sizeof(Block))
        return copyPlainWords<Block>(text, length, to);
    if (length >= sizeof(uint64_t))
        return copyPlainWords<uint64_t>(text, length, to);
    if (length >= sizeof(uint32_t))
        return copyPlainWords<uint32_t>(text, length, to);
    size_t done = 0;
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

// The record pool's blocks are multiples of sixteen bytes, laid end to end from
// sixteen-byte boundaries, so sixteen bytes read from an aligned place in the pool
// stay inside one block. Not under ASan, which guards a block's slack past the
// size asked for.
bool readableInSixteens(const char* text)
{
#if defined(__SANITIZE_ADDRESS__)
    static_cast<void>(text);
    return false;
#else
    return reinterpret_cast<uintptr_t>(text) % sizeof(Block) == 0 &&
           pool::classOfBlock(text) != pool::classCount;
#endif
}

// Host strings are mostly plain: a sixteen-byte load at a time finds the end of one,
// with no separate measuring, and shows it. False, with nothing written, for a text
// outside the pool or one with a byte to escape.
bool appendPlainInSixteens(OutputCursor& out, const char* text)
{
    if (!readableInSixteens(text))
        return false;
    const size_t start = out.written();
    char* to = out.room(sizeof(Block) + 1);
    *to++ = '"';
    for (;;) {
        Block bytes;
        std::memcpy(&bytes, text, sizeof bytes);
        std::memcpy(to, &bytes, sizeof bytes);
        // The terminating NUL is a control byte, so for a plain text it is the first byte flagged.
        const size_t plain = firstEscapeIn(bytes);
        if (plain != sizeof bytes) {
            if (text[plain] != '\0') {
                out.rewind(start);
                return false;
            }
            to[plain] = '"';
            out.advance(to + plain + 1);
            return true;
        }
        out.advance(to + sizeof bytes);
        text += sizeof bytes;
        to = out.room(sizeof bytes + 1);
    }
}

} // namespace

void appendEscaped(OutputCursor& out, const char* text)
{
    if (appendPlainInSixteens(out, text))
        return;
    const char* end = text + std::strlen(text);
    char* to = out.room(static_cast<size_t>(end - text) + 2);
    *to++ = '"';
    for (;;) {
        const size_t plain = copyPlainRun(text, end, to);
        to += plain;
        text += plain;
        if (text == end)
            break;
        out.advance(to);
        // The escape replaces one byte of what is left, and the closing quote follows.
        to = out.room(longestEscape + static_cast<size_t>(end - text));
        to = writeEscape(to, static_cast<unsigned char>(*text++));
    }
    *to++ = '"';
    out.advance(to);
}

} // namespace obclient::json
