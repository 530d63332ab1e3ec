// What the service manager hears from the consumer, heard on a datagram socket that
// stands where systemd's would (NOTIFY_SOCKET in a scratch folder).
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
#include <thread>
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

    static void askForWatchdog(std::chrono::microseconds timeout)
    {
        ::setenv("WATCHDOG_USEC", std::to_string(timeout.count()).c_str(), 1);
        ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
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

TEST_F(SystemdNotifierTest, ReadyStatusAndStoppingArriveEachWithTheStatusAndNothingElse)
{
    consume::SystemdNotifier notifier;
    EXPECT_TRUE(notifier.enabled());
    EXPECT_EQ(notifier.watchdogInterval().count(), 0); // none asked for
    notifier.ready("connecting");
    EXPECT_EQ(next(), "READY=1\nSTATUS=connecting");
    notifier.status("open: 3 frames received\nWATCHDOG=1");
    EXPECT_EQ(next(), "STATUS=open: 3 frames received WATCHDOG=1"); // a status cannot smuggle in a state
    notifier.stopping("draining");
    EXPECT_EQ(next(), "STOPPING=1\nSTATUS=draining");

    boost::asio::io_context loop;
    consume::WatchdogTimer idle(loop, notifier, [] { return std::string("idle"); });
    idle.start();
    loop.run_for(300ms);
    EXPECT_EQ(next(100ms), "") << "pinged a watchdog nobody asked for";
}

TEST_F(SystemdNotifierTest, WatchdogIsPingedFromTheLoopAtHalfItsTimeoutUntilStopped)
{
    askForWatchdog(200ms);
    consume::SystemdNotifier notifier;
    ASSERT_EQ(notifier.watchdogInterval(), 100ms);
    boost::asio::io_context loop;
    std::vector<Clock::time_point> sent; // taken on the loop's thread, read once it has ended
    consume::WatchdogTimer watchdog(loop, notifier, [&sent] {
        sent.push_back(Clock::now());
        return "ping " + std::to_string(sent.size());
    });
    watchdog.start();
    std::thread running([&loop] { loop.run_for(1s); });
    size_t received = 0;
    for (std::string message; (message = next(1500ms)) != "";)
        EXPECT_EQ(message, "WATCHDOG=1\nSTATUS=ping " + std::to_string(++received));
    running.join();
    EXPECT_EQ(received, sent.size());
    // About ten in the second the loop ran; never so fast that a busy loop could be pinging.
    ASSERT_GE(sent.size(), 4u);
    EXPECT_LE(sent.size(), 12u);
    std::vector<Clock::duration> gaps;
    for (size_t i = 1; i < sent.size(); ++i)
        gaps.push_back(sent[i] - sent[i - 1]);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_GE(gaps.front(), 100ms);
    EXPECT_LT(gaps[gaps.size() / 2], 200ms); // the typical gap is within the timeout

    watchdog.stop(); // its timer is still armed here
    loop.restart();
    loop.run_for(300ms);
    EXPECT_EQ(next(100ms), "") << "a stopped timer pinged";
}

// The consumer itself, as the service manager hears it: ready once it connects, its phase, pings from
// its loop at half the asked timeout, and that it stops.
TEST_F(SystemdNotifierTest, TheConsumerIsReadyReportsItsPhasePingsAndStops)
{
    const std::string url = startService(consume_testing::alarmFrames(30, 3));
    ::setenv("WATCHDOG_USEC", "200000", 1); // without WATCHDOG_PID: meant for the child
    const auto consumer = startConsumer(url, "notified");
    std::vector<std::string> heard;
    const auto deadline = Clock::now() + 5s;
    size_t pings = 0;
    while (pings < 5 && Clock::now() < deadline) {
        heard.push_back(next());
        pings += heard.back().rfind("WATCHDOG=1\n", 0) == 0 ? 1 : 0;
    }
    ASSERT_EQ(pings, 5u);
    EXPECT_EQ(heard.front().rfind("READY=1\nSTATUS=connecting: ", 0), 0u) << heard.front();
    EXPECT_TRUE(std::any_of(heard.begin(), heard.end(), [](const std::string& message) {
        return message.rfind("STATUS=open: ", 0) == 0;
    }));
    // Pings come from a timer, not a busy loop: a dozen messages of other kinds at most beside them.
    EXPECT_LE(heard.size(), 20u);

    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    std::string message;
    bool stopping = false;
    while (!(message = next(300ms)).empty())
        stopping = stopping || message.rfind("STOPPING=1\nSTATUS=draining: 30 frames received", 0) == 0;
    EXPECT_TRUE(stopping);
}

} // namespace
