// Where an MQTT output goes: mqtt://[USER@]HOST[:PORT]/PREFIX, or mqtts:// for TLS.
#pragma once

#include <string>
#include <string_view>

namespace consume {

struct MqttTarget {
    bool tls = false;
    std::string user; // empty: no login
    std::string host; // without brackets for an IPv6 address
    int port = 0;
    std::string prefix;
};

// True when text names an MQTT output rather than a file.
bool isMqttUrl(std::string_view text);

// False, with the reason in error, when text is not a usable MQTT output URL.
bool parseMqttTarget(const std::string& text, MqttTarget& target, std::string& error);

// The topic an event on channel goes to; an event without channel is passed through.
std::string topicOf(const std::string& prefix, std::string_view channel);

} // namespace consume
