#include "tools/consume/service_url.h"

#include <cctype>

namespace consume {

namespace {

std::string percentEncoded(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4]);
            encoded.push_back(hex[byte & 0xF]);
        }
    }
    return encoded;
}

} // namespace

bool parseServiceUrl(const std::string& text, ServiceUrl& url)
{
    size_t rest = 0;
    if (text.rfind("ws://", 0) == 0) {
        url.tls = false;
        rest = 5;
    } else if (text.rfind("wss://", 0) == 0) {
        url.tls = true;
        rest = 6;
    } else {
        return false;
    }
    const size_t targetStart = text.find_first_of("/?", rest);
    const std::string authority = text.substr(rest, targetStart - rest);
    url.target = targetStart == std::string::npos ? "/" : text.substr(targetStart);
    if (url.target.front() == '?')
        url.target.insert(0, "/");
    size_t portColon = std::string::npos;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos)
            return false;
        url.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':')
                return false;
            portColon = close + 1;
        }
    } else {
        portColon = authority.find(':');
        url.host = authority.substr(0, portColon);
    }
    url.port = portColon == std::string::npos ? (url.tls ? "443" : "80") : authority.substr(portColon + 1);
    if (url.host.empty() || url.port.empty() || authority.find('@') != std::string::npos)
        return false;
    url.hostHeader = authority;
    return true;
}

std::string targetWithCredentials(const ServiceUrl& url, const std::string& token,
                                  const std::string& consumer)
{
    std::string target = url.target;
    target += target.find('?') == std::string::npos ? '?' : '&';
    target += "token=" + percentEncoded(token);
    if (!consumer.empty())
        target += "&consumer=" + percentEncoded(consumer);
    return target;
}

} // namespace consume
