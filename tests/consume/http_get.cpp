#include "tests/consume/http_get.h"

#include <sys/wait.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace consume_testing {

namespace {
using boost::asio::ip::tcp;
} // namespace

HttpAnswer httpGet(uint16_t port, const std::string& target, const std::string& method)
{
    boost::asio::io_context loop;
    tcp::socket socket(loop);
    const std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    std::string answer;
    bool complete = false;
    socket.async_connect(
        {boost::asio::ip::address_v4::loopback(), port}, [&](boost::system::error_code error) {
            if (error)
                return;
            boost::asio::async_write(
                socket, boost::asio::buffer(request), [&](boost::system::error_code error, size_t) {
                    if (error)
                        return;
                    boost::asio::async_read(socket, boost::asio::dynamic_buffer(answer),
                                            [&](boost::system::error_code error, size_t) {
                                                complete = error == boost::asio::error::eof;
                                            });
                });
        });
    loop.run_for(std::chrono::seconds(5)); // every step together, bounded
    const size_t headersEnd = answer.find("\r\n\r\n");
    if (!complete || answer.compare(0, 5, "HTTP/") != 0 || headersEnd == std::string::npos)
        return {};
    HttpAnswer parsed;
    parsed.status = std::atoi(answer.c_str() + answer.find(' ') + 1);
    parsed.headers = answer.substr(0, headersEnd);
    parsed.body = answer.substr(headersEnd + 4);
    return parsed;
}

uint16_t unusedPort()
{
    boost::asio::io_context loop;
    boost::system::error_code error;
    const tcp::acceptor acceptor(loop, {boost::asio::ip::address_v4::loopback(), 0});
    return acceptor.local_endpoint(error).port();
}

std::pair<int, std::string> promtoolVerdict(const std::string& folder, const std::string& page)
{
    const std::string pagePath = folder + "/page.txt";
    const std::string verdictPath = folder + "/promtool.txt";
    std::ofstream(pagePath) << page;
    const std::string command =
        "timeout 20 promtool check metrics <'" + pagePath + "' >'" + verdictPath + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream verdict(verdictPath);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            std::string(std::istreambuf_iterator<char>(verdict), std::istreambuf_iterator<char>())};
}

} // namespace consume_testing
