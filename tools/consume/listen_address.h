// The address a server of ours listens on, as an operator writes it: ADDRESS:PORT,
// an IPv6 address in brackets ([::1]:9464). Port 0 asks the system for a free one.
#pragma once

#include <cstdint>
#include <string>

namespace consume {

struct ListenAddress {
    std::string host; // without brackets
    uint16_t port = 0;
};

bool parseListenAddress(const std::string& text, ListenAddress& address);

} // namespace consume
