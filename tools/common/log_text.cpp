#include "tools/common/log_text.h"

#include <cstdio>

namespace tools {

std::string escapedForLog(std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            escaped += "\\\\";
            continue;
        case '\r':
            escaped += "\\r";
            continue;
        case '\n':
            escaped += "\\n";
            continue;
        case '\t':
            escaped += "\\t";
            continue;
        default:
            break;
        }
        if (byte < 0x20 || byte == 0x7f) {
            escaped += "\\x";
            escaped.push_back(hex[byte >> 4]);
            escaped.push_back(hex[byte & 0xF]);
        } else {
            escaped.push_back(c);
        }
    }
    return escaped;
}

std::string secondsText(std::chrono::milliseconds duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000);
    return text;
}

} // namespace tools
