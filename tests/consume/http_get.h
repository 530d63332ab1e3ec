// One HTTP/1.0 request to 127.0.0.1, the answer read until the server closes, all within a deadline.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace consume_testing {

struct HttpAnswer {
    int status = 0; // 0: no answer (refused, timed out, not HTTP)
    std::string headers;
    std::string body;
};

HttpAnswer httpGet(uint16_t port, const std::string& target, const std::string& method = "GET");

// A port nothing listens on right now, for a server that wants one given.
uint16_t unusedPort();

// What `promtool check metrics` says of a page (written into folder), and its exit status.
std::pair<int, std::string> promtoolVerdict(const std::string& folder, const std::string& page);

} // namespace consume_testing
