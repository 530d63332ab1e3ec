#include "tests/consume/http_get.h"

#include <sys/wait.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/replay/replay_fixture.h"

namespace consume_testing {

using boost::asio::ip::tcp;

HttpAnswer httpGet(uint16_t port, const std::string& target, const std::string& method)
{
    tcp::iostream stream;
    stream.expires_after(std::chrono::seconds(5)); // every step together, bounded
    stream.connect(tcp::endpoint(boost::asio::ip::address_v4::loopback(), port));
    stream << method << " " << target << " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" << std::flush;
    const std::string answer(std::istreambuf_iterator<char>(stream), {});
    const size_t headersEnd = answer.find("\r\n\r\n");
    if (stream.error() != boost::asio::error::eof || answer.compare(0, 5, "HTTP/") != 0 ||
        headersEnd == std::string::npos)
        return {};
    return {std::atoi(answer.c_str() + answer.find(' ') + 1), answer.substr(0, headersEnd),
            answer.substr(headersEnd + 4)};
}

uint16_t unusedPort()
{
    boost::asio::io_context loop;
    const tcp::acceptor acceptor(loop, {boost::asio::ip::address_v4::loopback(), 0});
    return acceptor.local_endpoint().port();
}

std::pair<int, std::string> promtoolVerdict(const std::string& folder, const std::string& page)
{
    std::ofstream(folder + "/page.txt") << page;
    const std::string command =
        "timeout 20 promtool check metrics <'" + folder + "/page.txt' >'" + folder + "/promtool.txt' 2>&1";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            replay_testing::contentsOf(folder + "/promtool.txt")};
}

} // namespace consume_testing
