// The consumer's file output and capture on files in a scratch folder: what is held
// until a commit, where it ends up when the file is deleted or renamed underneath,
// how a record left unfinished is cut off, and which names may not be the output.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "obclient/obclient.h"
#include "tests/support/host_test.h"
#include "tools/common/file_output.h"
#include "tools/common/output.h"
#include "tools/common/same_file.h"
#include "tools/consume/capture_file.h"

namespace {

using tools::EventOutput;
using tools::FileEventOutput;
using tools::OutputFile;

std::string contentsOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Events rendered from messages with payload id and, where not empty, metadata "vlm.channel".
class RenderedEvents {
public:
    explicit RenderedEvents(bool indexed = false) { lines_.keepIndex(indexed); }

    const tools::EventLines& of(const std::vector<std::pair<int, std::string>>& events)
    {
        std::vector<vlm_message_t> messages;
        for (const auto& [id, channel] : events) {
            vlm_map_table_t* metadata = obclient_map_new(4);
            if (!channel.empty())
                obclient_map_insert_string(&metadata, "vlm.channel", obclient_string(channel.c_str()));
            messages.push_back({obclient_integer(id), metadata});
        }
        lines_.clear();
        lines_.add(messages.data(), messages.data() + messages.size());
        for (const vlm_message_t& message : messages) {
            obclient_free_data(message.payload);
            obclient_free_data(obclient_map_value(message.metadata));
        }
        return lines_;
    }

    static std::string line(int id, const std::string& channel = "")
    {
        const std::string metadata = channel.empty() ? "{}" : R"({"vlm.channel":")" + channel + "\"}";
        return R"({"metadata":)" + metadata + R"(,"payload":)" + std::to_string(id) + "}";
    }

private:
    tools::EventLines lines_;
};

class FileOutputTest : public testing_support::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        std::string pattern = (std::filesystem::temp_directory_path() / "output-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(directory_);
        HostTest::TearDown();
    }

    std::string path(const std::string& name) const { return directory_ + "/" + name; }

    // The consumer's output: appended and synced.
    void openAppending(FileEventOutput& output, const std::string& name)
    {
        std::string reason;
        ASSERT_TRUE(output.open({path(name), OutputFile::Mode::Append, true}, reason)) << reason;
    }

    RenderedEvents events_;

private:
    std::string directory_;
};

TEST_F(FileOutputTest, EventLinesIndexEachLineAndChannelForAnOutputThatPublishesThemOneByOne)
{
    RenderedEvents indexed(true);
    const tools::EventLines& lines = indexed.of({{1, "site-a.alarms"}, {2, ""}, {3, "b"}});
    ASSERT_EQ(lines.count(), 3u);
    EXPECT_EQ(lines.line(0), RenderedEvents::line(1, "site-a.alarms"));
    EXPECT_EQ(lines.channel(0), "site-a.alarms");
    EXPECT_EQ(lines.line(1), RenderedEvents::line(2));
    EXPECT_EQ(lines.channel(1), ""); // passed through: no channel
    EXPECT_EQ(lines.channel(2), "b");
    EXPECT_EQ(lines.text(), RenderedEvents::line(1, "site-a.alarms") + "\n" + RenderedEvents::line(2) + "\n" +
                                RenderedEvents::line(3, "b") + "\n");
}

// A run killed or stopped by a full disk mid-line leaves a partial last line: the next one cuts it off
// before appending, and never a whole line.
TEST_F(FileOutputTest, AnUnfinishedLastLineIsCutOffAtOpen)
{
    const std::string longTail(150000, 'y'); // longer than the blocks the end is read in
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"whole lines", "{\"a\":1}\n{\"b\":2}\n", "{\"a\":1}\n{\"b\":2}\n"},
        {"partial line after whole ones", "{\"a\":1}\n{\"b\":", "{\"a\":1}\n"},
        {"nothing but a partial line", "{\"b\":", ""},
        {"long partial line", "{\"a\":1}\n" + longTail, "{\"a\":1}\n"},
        {"line end just before a long partial line", "x\n" + longTail + "\n" + longTail,
         "x\n" + longTail + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path("out.jsonl"), c.before);
        FileEventOutput output;
        openAppending(output, "out.jsonl");
        EXPECT_EQ(output.cutAtOpen(), c.before.size() - c.after.size());
        ASSERT_TRUE(output.write(events_.of({{7, ""}})));
        ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
        EXPECT_EQ(contentsOf(path("out.jsonl")), c.after + RenderedEvents::line(7) + "\n");
    }
}

TEST_F(FileOutputTest, AnUnfinishedLastFrameIsCutOffTheCapture)
{
    const std::string frame = "a-1\n/t/alarms/1\nCREATE\n\n{}\n---\n";
    // The end is read in blocks of 64 KiB: with this tail the separator lies across the first border.
    const std::string tailAcrossBorder = "a-2\n" + std::string(65536 - 2 - 4, 'q');
    for (const std::string& tail : {std::string("a-2\n/t/al"), tailAcrossBorder}) {
        writeFile(path("capture.frames"), frame + tail);
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
    FileEventOutput output;
    openAppending(output, "out.jsonl");
    ASSERT_TRUE(output.write(events_.of({{1, ""}})));
    ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
    const std::string committed = contentsOf(path("out.jsonl"));

    // A file size limit makes the kernel take part of the next write, then refuse the rest.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit small{committed.size() + 10, saved.rlim_max};
    const sighandler_t previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = output.write(events_.of({{2, ""}, {3, ""}}));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(output.failure(), EFBIG);
    EXPECT_EQ(contentsOf(path("out.jsonl")), committed);
    EXPECT_EQ(output.commit(), EventOutput::Commit::Failed);
    EXPECT_FALSE(output.write(events_.of({{4, ""}})));
    EXPECT_EQ(contentsOf(path("out.jsonl")), committed);
}

// Deleted underneath, the file takes the writes without a word; the commit finds it has no name and
// writes what it held since the last commit again at the path, so that nothing committed is lost with it.
TEST_F(FileOutputTest, EventsWrittenIntoADeletedFileAreWrittenAgainAtThePathBeforeTheCommit)
{
    FileEventOutput output;
    openAppending(output, "out.jsonl");
    ASSERT_TRUE(output.write(events_.of({{1, ""}})));
    ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
    ASSERT_TRUE(output.write(events_.of({{2, ""}})));
    ASSERT_EQ(::unlink(path("out.jsonl").c_str()), 0);
    ASSERT_TRUE(output.write(events_.of({{3, ""}})));
    ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
    EXPECT_EQ(contentsOf(path("out.jsonl")), RenderedEvents::line(2) + "\n" + RenderedEvents::line(3) + "\n");
    EXPECT_EQ(output.rewrittenAfterUnlink(), 1u);

    ASSERT_TRUE(output.write(events_.of({{4, ""}})));
    ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
    EXPECT_EQ(contentsOf(path("out.jsonl")), RenderedEvents::line(2) + "\n" + RenderedEvents::line(3) + "\n" +
                                                 RenderedEvents::line(4) + "\n");
}

// A rotation renames the file, and may create a new one at the path: what the old one holds stays
// there, once; the path is followed at the commit that notices, or at once when asked to reopen.
TEST_F(FileOutputTest, ARenamedFileKeepsWhatItHeldAndLaterEventsGoToThePath)
{
    struct Case {
        const char* name;
        bool created; // a new file at the path, as the rotation's "create" makes
        bool asked;   // reopen asked for (SIGHUP) rather than noticed at the commit
    };
    const Case cases[] = {
        {"noticed, no file at the path", false, false},
        {"noticed, a new file at the path", true, false},
        {"asked", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileEventOutput output;
        openAppending(output, "out.jsonl");
        ASSERT_TRUE(output.write(events_.of({{1, ""}})));
        if (c.asked) {
            ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
        }
        ASSERT_EQ(::rename(path("out.jsonl").c_str(), path("out.jsonl.1").c_str()), 0);
        if (c.created)
            writeFile(path("out.jsonl"), "");
        std::string reason;
        if (c.asked) {
            ASSERT_TRUE(output.reopen(reason)) << reason;
        } else {
            ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
        }
        ASSERT_TRUE(output.write(events_.of({{2, ""}})));
        ASSERT_EQ(output.commit(), EventOutput::Commit::Durable);
        EXPECT_EQ(contentsOf(path("out.jsonl.1")), RenderedEvents::line(1) + "\n");
        EXPECT_EQ(contentsOf(path("out.jsonl")), RenderedEvents::line(2) + "\n");
        EXPECT_EQ(output.movedAway(), c.asked ? 0u : 1u);
        std::filesystem::remove(path("out.jsonl"));
        std::filesystem::remove(path("out.jsonl.1"));
    }
}

// The output fails with the device's reason; the capture is reported once and counted.
TEST_F(FileOutputTest, AFullDeviceFailsTheOutputAndTheCapture)
{
    FileEventOutput output;
    std::string reason;
    ASSERT_TRUE(output.open({"/dev/full", OutputFile::Mode::Append, true}, reason)) << reason;
    EXPECT_FALSE(output.write(events_.of({{1, ""}})));
    EXPECT_EQ(output.failure(), ENOSPC);
    EXPECT_EQ(output.commit(), EventOutput::Commit::Failed);

    consume::CaptureFile capture;
    ASSERT_TRUE(capture.open("/dev/full", reason)) << reason;
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i)
        capture.write("a-1\n\n{}\n---\n");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(capture.writeErrors(), 3u);
    const size_t first = err.find("cannot write the capture");
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("cannot write the capture", first + 1), std::string::npos) << err;
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
}

TEST_F(FileOutputTest, NamesThatLeadToTheSameFile)
{
    writeFile(path("config.yaml"), "a: 1\n");
    writeFile(path("token"), "t\n");
    ASSERT_EQ(::link(path("config.yaml").c_str(), path("hard").c_str()), 0);
    ASSERT_EQ(::symlink(path("token").c_str(), path("soft").c_str()), 0);
    struct Case {
        std::string output;
        std::vector<std::string> others;
        std::string same; // empty: none
    };
    const std::string folder = path("");
    const Case cases[] = {
        {path("config.yaml"), {"", path("token"), path("config.yaml")}, path("config.yaml")},
        {path("hard"), {path("token"), path("config.yaml")}, path("config.yaml")},
        {path("soft"), {path("config.yaml"), path("token")}, path("token")},
        {path("out.jsonl"), {path("config.yaml"), path("token")}, ""},
        // Neither exists yet: opening one would create the other.
        {path("new.jsonl"), {path("config.yaml"), folder + "./new.jsonl"}, folder + "./new.jsonl"},
        {path("new.jsonl"), {path("other.jsonl")}, ""},
        {"", {path("config.yaml")}, ""}, // standard output
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        EXPECT_EQ(tools::sameFileAs(c.output, c.others), c.same);
    }
}

} // namespace
