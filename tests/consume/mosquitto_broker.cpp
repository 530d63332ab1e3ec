#include "tests/consume/mosquitto_broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace mqtt_testing {

namespace {

constexpr const char* brokerProgram = "/usr/sbin/mosquitto";

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int freePort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(socket);
    return ntohs(address.sin_port);
}

bool accepts(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

// Run as root, the broker would change to a user that cannot write the scratch folder.
std::string currentUser()
{
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr ? entry->pw_name : "root";
}

} // namespace

MosquittoBroker::MosquittoBroker(const std::string& directory, const BrokerSetup& setup)
    : directory_(directory), port_(freePort())
{
    std::ofstream config(directory_ + "/mosquitto.conf");
    config << "user " << currentUser() << "\n"
           << "persistence true\npersistence_location " << directory_ << "/\n"
           << "log_dest file " << directory_
           << "/broker.log\n"
           // A subscriber that falls behind must not have messages dropped under a test.
           << "max_queued_messages 0\n";
    if (setup.user.empty()) {
        config << "allow_anonymous true\n";
    } else {
        const std::string passwords = directory_ + "/passwords";
        const std::string make = "mosquitto_passwd -b -c " + passwords + " '" + setup.user + "' '" +
                                 setup.password + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            throw std::runtime_error("mosquitto_passwd failed");
        config << "allow_anonymous false\npassword_file " << passwords << "\n";
    }
    if (setup.maxInflight > 0)
        config << "max_inflight_messages " << setup.maxInflight << "\n";
    if (!setup.acl.empty()) {
        std::ofstream(directory_ + "/acl") << setup.acl;
        config << "acl_file " << directory_ << "/acl\n";
    }
    config << "listener " << port_ << " 127.0.0.1\n";
    if (setup.noDelay)
        config << "set_tcp_nodelay true\n";
    if (!setup.certificate.empty()) {
        tlsPort_ = freePort();
        config << "listener " << tlsPort_ << " 127.0.0.1\ncertfile " << setup.certificate << "\nkeyfile "
               << setup.key << "\n";
    }
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::start()
{
    const std::string config = directory_ + "/mosquitto.conf";
    pid_ = ::fork();
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execl(brokerProgram, brokerProgram, "-c", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (accepts(port_) && (tlsPort_ == 0 || accepts(tlsPort_)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void MosquittoBroker::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGTERM);
    // Bounded: a broker that will not stop is killed after a few seconds.
    int tries = 0;
    while (::waitpid(pid_, nullptr, WNOHANG) == 0 && ++tries < 500)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (tries == 500) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

std::string MosquittoBroker::log() const
{
    std::ifstream file(directory_ + "/broker.log");
    return {std::istreambuf_iterator<char>(file), {}};
}

bool makeCertificate(const std::string& certificate, const std::string& key)
{
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + certificate + " 2>/dev/null";
    return std::system(make.c_str()) == 0;
}

} // namespace mqtt_testing
