#include "tools/consume/mqtt_target.h"

#include <cctype>

#include "tools/consume/mqtt_texts.h"

namespace consume {

namespace {

constexpr std::string_view plainScheme = "mqtt://";
constexpr std::string_view tlsScheme = "mqtts://";
constexpr int plainPort = 1883;
constexpr int tlsPort = 8883;

bool readPort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0)
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

// Wildcards would make the prefix a filter, and a trailing '/' an empty topic level.
bool usablePrefix(const std::string& prefix)
{
    return prefix.find_first_of(std::string("+#\0", 3)) == std::string::npos && prefix.back() != '/';
}

// host[:port] or [v6]:port, without the user.
bool readHostAndPort(const std::string& hostPort, MqttTarget& target, const std::string& url,
                     std::string& error)
{
    std::string portText;
    bool hasPort = false;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string::npos || (close + 1 < hostPort.size() && hostPort[close + 1] != ':')) {
            error = mqtt_texts::badBrackets + url;
            return false;
        }
        target.host = hostPort.substr(1, close - 1);
        hasPort = close + 1 < hostPort.size();
        if (hasPort)
            portText = hostPort.substr(close + 2);
    } else {
        const size_t colon = hostPort.find(':');
        target.host = hostPort.substr(0, colon);
        hasPort = colon != std::string::npos;
        if (hasPort)
            portText = hostPort.substr(colon + 1);
    }
    if (target.host.empty()) {
        error = mqtt_texts::emptyHost + url;
        return false;
    }
    target.port = target.tls ? tlsPort : plainPort;
    if (hasPort && !readPort(portText, target.port)) {
        error = mqtt_texts::badPort + url;
        return false;
    }
    return true;
}

} // namespace

bool isMqttUrl(std::string_view text)
{
    return text.substr(0, plainScheme.size()) == plainScheme || text.substr(0, tlsScheme.size()) == tlsScheme;
}

bool parseMqttTarget(const std::string& text, MqttTarget& target, std::string& error)
{
    MqttTarget parsed;
    size_t rest = 0;
    if (text.compare(0, plainScheme.size(), plainScheme) == 0) {
        rest = plainScheme.size();
    } else if (text.compare(0, tlsScheme.size(), tlsScheme) == 0) {
        parsed.tls = true;
        rest = tlsScheme.size();
    } else {
        error = mqtt_texts::badScheme + text;
        return false;
    }
    const size_t slash = text.find('/', rest);
    if (slash == std::string::npos || slash + 1 == text.size()) {
        error = mqtt_texts::missingPrefix + text;
        return false;
    }
    std::string authority = text.substr(rest, slash - rest);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        parsed.user = authority.substr(0, at);
        if (parsed.user.find(':') != std::string::npos) {
            error = mqtt_texts::passwordInUrl + text;
            return false;
        }
        if (parsed.user.empty()) {
            error = mqtt_texts::emptyUser + text;
            return false;
        }
        authority.erase(0, at + 1);
    }
    if (!readHostAndPort(authority, parsed, text, error))
        return false;
    parsed.prefix = text.substr(slash + 1);
    if (!usablePrefix(parsed.prefix)) {
        error = mqtt_texts::badPrefix + text;
        return false;
    }
    target = std::move(parsed);
    return true;
}

std::string topicOf(const std::string& prefix, std::string_view channel)
{
    std::string topic = prefix;
    topic += '/';
    if (channel.empty())
        topic += mqtt_texts::passthroughChannel;
    else
        topic += channel;
    return topic;
}

} // namespace consume
