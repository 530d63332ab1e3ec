// What the service manager hears from the consumer, on a socket where systemd's would be.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/consume/live_consumer_fixture.h"
#include "tools/consume/systemd_notifier.h"
#include "tools/consume/watchdog_timer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SystemdNotifierTest : public consume_testing::LiveConsumer {
protected:
    void SetUp() override
    {
        LiveConsumer::SetUp();
        const std::string path = directory() + "/notify";
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof address.sun_path);
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }

    void TearDown() override
    {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::unsetenv("WATCHDOG_PID");
        ::close(socket_);
        LiveConsumer::TearDown();
    }

    // The next message, or "" when none comes within wait.
    std::string next(std::chrono::milliseconds wait = 2000ms)
    {
        const timeval timeout{static_cast<time_t>(wait.count() / 1000),
                              static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char message[4096];
        const ssize_t got = ::recv(socket_, message, sizeof message, 0);
        return got > 0 ? std::string(message, static_cast<size_t>(got)) : "";
    }

    int socket_ = -1;
};

// A status from the service cannot smuggle in a state, and no watchdog is pinged that nobody asked for.
TEST_F(SystemdNotifierTest, TheServiceManagerHearsReadyStatusPingsOnlyWhenAskedAndStopping)
{
    consume::SystemdNotifier notifier;
    notifier.status("open: 3 frames received\nWATCHDOG=1");
    EXPECT_EQ(next(), "STATUS=open: 3 frames received WATCHDOG=1");
    boost::asio::io_context loop;
    consume::WatchdogTimer idle(loop, notifier, [] { return std::string("idle"); });
    idle.start();
    loop.run_for(300ms);
    EXPECT_EQ(next(100ms), "") << "pinged a watchdog nobody asked for";
    ::setenv("WATCHDOG_USEC", "200000", 1);
    ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
    EXPECT_EQ(consume::SystemdNotifier().watchdogInterval(), 100ms); // half the timeout

    // The consumer: ready once it connects, its phase, pings at half the asked timeout, and that it stops.
    const std::string url = startService(consume_testing::alarmFrames(30, 3));
    ::unsetenv("WATCHDOG_PID"); // meant for the child
    const Clock::time_point started = Clock::now();
    const auto consumer = startConsumer(url, "notified");
    std::vector<std::string> heard;
    int64_t pings = 0;
    while (pings < 5 && Clock::now() < started + 5s) {
        heard.push_back(next());
        pings += heard.back().rfind("WATCHDOG=1\n", 0) == 0 ? 1 : 0;
    }
    ASSERT_EQ(pings, 5);
    // One at once, then one per 100 ms at most since the start: from a timer, not a busy loop.
    EXPECT_LE(pings - 1, (Clock::now() - started) / 100ms);
    EXPECT_EQ(heard.front().rfind("READY=1\nSTATUS=connecting: ", 0), 0u) << heard.front();
    EXPECT_TRUE(std::any_of(heard.begin(), heard.end(), [](const std::string& message) {
        return message.rfind("STATUS=open: ", 0) == 0;
    }));
    EXPECT_LE(heard.size(), 20u) << "a dozen messages of other kinds at most beside the pings";

    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    bool stopping = false;
    for (std::string message; !(message = next(300ms)).empty();)
        stopping = stopping || message.rfind("STOPPING=1\nSTATUS=draining: 30 frames received", 0) == 0;
    EXPECT_TRUE(stopping);
}

} // namespace
