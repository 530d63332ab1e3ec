#include "obclient/base64.h"

#include <cstdint>

namespace value_text {

namespace {

constexpr int notInAlphabet = -1;

int sextetOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return notInAlphabet;
}

} // namespace

void appendBase64(std::string& out, const std::uint8_t* bytes, std::uint64_t length)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::uint64_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const std::uint32_t group =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out.push_back(alphabet[(group >> 18) & 63]);
        out.push_back(alphabet[(group >> 12) & 63]);
        out.push_back(alphabet[(group >> 6) & 63]);
        out.push_back(alphabet[group & 63]);
    }
    if (i == length)
        return;
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (i + 1 < length)
        group |= std::uint32_t{bytes[i + 1]} << 8;
    out.push_back(alphabet[(group >> 18) & 63]);
    out.push_back(alphabet[(group >> 12) & 63]);
    out.push_back(i + 1 < length ? alphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
}

bool decodeBase64(std::string_view text, std::string& bytes)
{
    bytes.clear();
    if (text.size() % 4 != 0)
        return false;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    const size_t dataChars = text.size() - padding;
    bytes.reserve(text.size() / 4 * 3);
    uint32_t group = 0;
    size_t bits = 0;
    for (size_t i = 0; i < dataChars; ++i) {
        const int sextet = sextetOf(text[i]);
        if (sextet == notInAlphabet)
            return false;
        group = (group << 6) | static_cast<uint32_t>(sextet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((group >> bits) & 0xFF));
        }
    }
    // Bits the padding leaves over must be zero, or two texts would decode alike.
    return (group & ((1u << bits) - 1)) == 0;
}

} // namespace value_text
