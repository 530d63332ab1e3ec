// The service's websocket URL, taken apart for the connection, with the token
// and consumer name added to its query.
#pragma once

#include <string>

namespace consume {

struct ServiceUrl {
    bool tls = false;
    std::string host; // without brackets for an IPv6 address
    std::string port;
    std::string target; // path and query, as the handshake sends it
    std::string hostHeader;
};

// False when text is not a ws:// or wss:// URL.
bool parseServiceUrl(const std::string& text, ServiceUrl& url);

// The target with token=<token> and, when consumer is not empty, consumer=<consumer> added to its query.
std::string targetWithCredentials(const ServiceUrl& url, const std::string& token,
                                  const std::string& consumer);

} // namespace consume
