#include "tools/consume/listen_address.h"

#include "tools/common/options.h"

namespace consume {

bool parseListenAddress(const std::string& text, ListenAddress& address)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false; // an IPv6 address without brackets: where its port begins is a guess
    }
    long port = 0;
    if (!tools::readWholeNumber(text.c_str() + colon + 1, 0, 65535, port))
        return false;
    address.host = host;
    address.port = static_cast<uint16_t>(port);
    return true;
}

} // namespace consume
