#include "tests/consume/http_get.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace consume_testing {

namespace {

class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

HttpAnswer httpGet(uint16_t port, const std::string& target, const std::string& method)
{
    Socket socket;
    const timeval timeout{5, 0};
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const sockaddr_in address = loopback(port);
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    const std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(socket.fd(), request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        return {};
    std::string answer;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::recv(socket.fd(), chunk, sizeof chunk, 0)) > 0)
        answer.append(chunk, static_cast<size_t>(got));
    const size_t headersEnd = answer.find("\r\n\r\n");
    if (got < 0 || answer.compare(0, 5, "HTTP/") != 0 || headersEnd == std::string::npos)
        return {};
    HttpAnswer parsed;
    parsed.status = std::atoi(answer.c_str() + answer.find(' ') + 1);
    parsed.headers = answer.substr(0, headersEnd);
    parsed.body = answer.substr(headersEnd + 4);
    return parsed;
}

uint16_t unusedPort()
{
    Socket socket;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
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
