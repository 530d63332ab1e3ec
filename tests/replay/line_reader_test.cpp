// Lines are handed out in place: across chunk boundaries, with either line end,
// and always with the padding a block-reading JSON parser reads into.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/replay/replay_fixture.h"
#include "tools/replay/line_reader.h"

namespace {

using replayLineReader = replay_testing::ReplayTest;
using Seen = std::tuple<std::string, uint64_t, bool>;

TEST_F(replayLineReader, LinesKeepTheirTextAndNumberAcrossChunks)
{
    const std::string longLine(3 << 20, 'x'); // longer than one read
    const std::string text = "first\r\n\n" + longLine + "\n{\"cut\":";
    const int fd = ::open(writeInput("lines.txt", text).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    replay::LineReader lines(fd);
    std::vector<Seen> seen;
    replay::Line line;
    while (lines.next(line)) {
        // Out of bounds here is what the address sanitizer reports.
        volatile char lastPadding = line.text.data()[line.text.size() + replay::LineReader::linePadding - 1];
        static_cast<void>(lastPadding);
        seen.emplace_back(std::string(line.text), line.number, line.terminated);
    }
    ::close(fd);
    const std::vector<Seen> expected{
        {"first", 1, true}, {"", 2, true}, {longLine, 3, true}, {"{\"cut\":", 4, false}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(lines.readError(), 0);
    EXPECT_EQ(lines.bytesRead(), text.size());
}

} // namespace
