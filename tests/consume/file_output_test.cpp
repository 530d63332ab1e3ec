// The consumer's file output and capture: what a commit holds, and what is cut off or moved underneath.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "obclient/obclient.h"
#include "tests/replay/replay_fixture.h"
#include "tools/common/file_output.h"
#include "tools/common/output.h"
#include "tools/consume/capture_file.h"

namespace {

using replay_testing::contentsOf;
using tools::EventOutput;

class FileOutputTest : public replay_testing::ReplayTest {
protected:
    std::string path(const std::string& name) const { return directory() + "/" + name; }

    // The consumer's output: appended and synced.
    void openAppending(tools::FileEventOutput& output, const std::string& name)
    {
        std::string reason;
        ASSERT_TRUE(output.open({path(name), tools::OutputFile::Mode::Append, true}, reason)) << reason;
    }

    // Events rendered from messages with these payloads.
    const tools::EventLines& events(const std::vector<int>& ids)
    {
        lines_.clear();
        for (const int id : ids) {
            vlm_message_t message{obclient_integer(id), obclient_map_new(4)};
            lines_.add(&message, &message + 1);
            obclient_free_data(obclient_map_value(message.metadata));
        }
        return lines_;
    }

    tools::EventLines lines_;
};

// A kill or full disk mid-record leaves a partial last line or frame: the next run cuts it, not a whole one.
TEST_F(FileOutputTest, AnUnfinishedLastLineOrFrameIsCutOffAtOpen)
{
    const std::string longTail(150000, 'y'); // longer than the blocks the end is read in
    // What the file holds before, and what is left of it.
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"{\"a\":1}\n{\"b\":2}\n", "{\"a\":1}\n{\"b\":2}\n"},
        {"{\"a\":1}\n{\"b\":", "{\"a\":1}\n"},
        {"{\"b\":", ""},
        {"{\"a\":1}\n" + longTail, "{\"a\":1}\n"},
        {"x\n" + longTail + "\n" + longTail, "x\n" + longTail + "\n"},
    };
    for (const auto& [before, after] : cases) {
        SCOPED_TRACE(before.size());
        writeInput("out.jsonl", before);
        tools::FileEventOutput output;
        openAppending(output, "out.jsonl");
        EXPECT_EQ(output.cutAtOpen(), before.size() - after.size());
        ASSERT_TRUE(output.write(events({7})));
        ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
        EXPECT_EQ(contentsOf(path("out.jsonl")), after + std::string(events({7}).text()));
    }
    const std::string frame = "a-1\n/t/alarms/1\nCREATE\n\n{}\n---\n";
    // The end is read in blocks of 64 KiB: with this tail the separator lies across the first border.
    const std::string tailAcrossBorder = "a-2\n" + std::string(65536 - 2 - 4, 'q');
    for (const std::string& tail : {std::string("a-2\n/t/al"), tailAcrossBorder}) {
        writeInput("capture.frames", frame + tail);
        consume::CaptureFile capture;
        std::string reason;
        testing::internal::CaptureStderr();
        ASSERT_TRUE(capture.open(path("capture.frames"), reason)) << reason;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("unfinished last frame"), std::string::npos);
        capture.write("a-3\n\n{}\n---\n");
        EXPECT_EQ(contentsOf(path("capture.frames")), frame + "a-3\n\n{}\n---\n");
    }
}

// A write the file takes only in part leaves nothing of it behind, and every later write and commit fails.
TEST_F(FileOutputTest, AFailedWriteLeavesTheFileEndingOnALineAndStopsTheOutput)
{
    tools::FileEventOutput output;
    openAppending(output, "out.jsonl");
    ASSERT_TRUE(output.write(events({1})));
    ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
    const std::string committed = contentsOf(path("out.jsonl"));

    // A file size limit makes the kernel take part of the next write, then refuse the rest.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit small{committed.size() + 10, saved.rlim_max};
    const sighandler_t previous = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = output.write(events({2, 3}));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(output.failure(), EFBIG);
    EXPECT_EQ(output.commit(), EventOutput::Commit::Failed);
    EXPECT_FALSE(output.write(events({4})));
    EXPECT_EQ(contentsOf(path("out.jsonl")), committed);
}

// Deleted underneath, the file takes writes silently: the commit writes what it held again at the path.
// Renamed by a rotation, it keeps what it holds, once, until a commit notices or a reopen is asked.
TEST_F(FileOutputTest, AFileDeletedOrRenamedUnderneathLosesNoCommittedEvent)
{
    struct Case {
        const char* name;
        bool renamed; // else deleted
        bool created; // a new file at the path, as the rotation's "create" makes
        bool asked;   // reopen asked for (SIGHUP) rather than noticed at the commit
        std::vector<int> kept, atPath;
        size_t rewritten, moved;
    };
    const Case cases[] = {
        {"deleted", false, false, false, {}, {2, 3, 4}, 1, 0},
        {"renamed, noticed", true, false, false, {1, 2, 3}, {4}, 0, 1},
        {"renamed, a new file at the path", true, true, false, {1, 2, 3}, {4}, 0, 1},
        {"renamed, reopen asked", true, false, true, {1, 2}, {3, 4}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tools::FileEventOutput output;
        openAppending(output, "out.jsonl");
        ASSERT_TRUE(output.write(events({1})));
        ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
        ASSERT_TRUE(output.write(events({2})));
        const std::string file = path("out.jsonl"), renamed = path("out.jsonl.1");
        ASSERT_EQ(c.renamed ? ::rename(file.c_str(), renamed.c_str()) : ::unlink(file.c_str()), 0);
        if (c.created)
            writeInput("out.jsonl", "");
        std::string reason;
        ASSERT_TRUE(!c.asked || output.reopen(reason)) << reason;
        for (const int id : {3, 4}) {
            ASSERT_TRUE(output.write(events({id})));
            ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
        }
        EXPECT_EQ(contentsOf(renamed), events(c.kept).text());
        EXPECT_EQ(contentsOf(file), events(c.atPath).text());
        EXPECT_EQ(output.rewrittenAfterUnlink(), c.rewritten);
        EXPECT_EQ(output.movedAway(), c.moved);
        std::filesystem::remove(file);
        std::filesystem::remove(renamed);
    }
}

} // namespace
