// The line reader waits on a non-blocking input instead of taking its first EAGAIN
// for a failed read.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/host_test.h"
#include "tools/replay/line_reader.h"

namespace {

using replayLineReader = testing_support::HostTest;

TEST_F(replayLineReader, NonBlockingInputIsWaitedFor)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
    std::thread writer([&ends] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(::write(ends[1], "late\n", 5), 5);
        ::close(ends[1]);
    });
    replay::LineReader lines(ends[0], 64);
    replay::Line line;
    const bool got = lines.next(line);
    writer.join();
    ::close(ends[0]);
    ASSERT_TRUE(got) << std::strerror(lines.readError());
    EXPECT_EQ(line.text, "late");
}

} // namespace
