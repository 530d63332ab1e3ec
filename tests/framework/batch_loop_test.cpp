// The batch loop of AbstractSimpleCodec, run in both directions: in-place
// transformation, compaction of kept messages, drops and their log lines, and
// what the next element receives.
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "connectivity/framework/abstract_codec.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

using Range = std::pair<cv::Message*, cv::Message*>;

enum class Outcome { keep, drop, throwStandard, throwOther };
enum class Handler { standard, keepStandardErrors, rethrow };

// Multiplies each integer payload by ten, then does what the script says for that payload;
// its error handler is the standard one or one of two overrides.
class ScriptedCodec : public cv::AbstractSimpleCodec {
public:
    ScriptedCodec()
        : AbstractSimpleCodec(cv::PluginParameters{"chain", "name", cv::map_t(), nullptr, nullptr})
    {}

    bool transformMessageTowardsHost(cv::Message& message) override { return run(message); }
    bool transformMessageTowardsTransport(cv::Message& message) override { return run(message); }
    bool handleTransformError(cv::Message& message, bool towardsTransport) override
    {
        directions.push_back(towardsTransport);
        if (handler == Handler::rethrow)
            throw;
        if (handler == Handler::keepStandardErrors) {
            try {
                throw;
            } catch (const std::runtime_error&) {
                return true;
            } catch (...) {
            }
        }
        return AbstractSimpleCodec::handleTransformError(message, towardsTransport);
    }

    std::map<std::int64_t, Outcome> script;
    Handler handler = Handler::standard;
    std::vector<std::int64_t> transformed;
    std::vector<bool> directions;

private:
    bool run(cv::Message& message)
    {
        const std::int64_t id = message.getPayload().get<std::int64_t>();
        transformed.push_back(id);
        message.getPayload() = cv::data_t(id * 10);
        switch (script[id]) {
        case Outcome::drop:
            return false;
        case Outcome::throwStandard:
            throw std::runtime_error("boom " + std::to_string(id));
        case Outcome::throwOther:
            throw 7;
        default:
            return true;
        }
    }
};

// The next element in either direction: notes the ranges it receives, or fails.
class Neighbour : public cv::HostSide, public cv::TransportSide {
public:
    Neighbour(std::vector<Range>& calls, bool fails) : calls_(calls), fails_(fails) {}
    void sendBatchTowardsHost(cv::Message* start, cv::Message* end) override { receive(start, end); }
    void sendBatchTowardsTransport(cv::Message* start, cv::Message* end) override { receive(start, end); }

private:
    void receive(cv::Message* start, cv::Message* end)
    {
        if (fails_)
            throw std::runtime_error("next failed");
        calls_.emplace_back(start, end);
    }
    std::vector<Range>& calls_;
    bool fails_;
};

void wire(cv::AbstractCodec& codec, bool towardsTransport, std::vector<Range>& calls, bool fails = false)
{
    if (towardsTransport) {
        std::unique_ptr<cv::TransportSide> next = std::make_unique<Neighbour>(calls, fails);
        codec.setNextTowardsTransport(next);
    } else {
        std::unique_ptr<cv::HostSide> next = std::make_unique<Neighbour>(calls, fails);
        codec.setNextTowardsHost(next);
    }
}

// A message with an integer payload and metadata {"n": id}, so whole-record exchanges show.
std::vector<cv::Message> numberedBatch(std::initializer_list<std::int64_t> ids)
{
    std::vector<cv::Message> batch;
    for (std::int64_t id : ids) {
        cv::map_t metadata;
        metadata[cv::data_t("n")] = cv::data_t(id);
        batch.emplace_back(cv::data_t(id), std::move(metadata));
    }
    return batch;
}

std::int64_t metadataIdOf(const cv::Message& message)
{
    return message.getMetadata().find(cv::data_t("n"))->second.get<std::int64_t>();
}

// The metadata ids of a range, each checked to still sit with its own (transformed) payload.
std::vector<std::int64_t> idsOf(const cv::Message* start, const cv::Message* end)
{
    std::vector<std::int64_t> ids;
    for (const cv::Message* message = start; message != end; ++message) {
        ids.push_back(metadataIdOf(*message));
        if (!message->getPayload().empty()) {
            EXPECT_EQ(message->getPayload().get<std::int64_t>(), 10 * ids.back()) << "payload moved alone";
        }
    }
    return ids;
}

// Each test runs once per direction.
class BatchLoopTest : public testing_support::HostTest, public ::testing::WithParamInterface<bool> {
protected:
    bool towardsTransport() const { return GetParam(); }

    void send(cv::AbstractSimpleCodec& codec, cv::Message* start, cv::Message* end) const
    {
        if (towardsTransport())
            codec.sendBatchTowardsTransport(start, end);
        else
            codec.sendBatchTowardsHost(start, end);
    }
    void send(cv::AbstractSimpleCodec& codec, std::vector<cv::Message>& batch) const
    {
        send(codec, batch.data(), batch.data() + batch.size());
    }
};

TEST_P(BatchLoopTest, KeptMessagesMoveToTheFrontAndEachFailedOneIsDroppedWithOneLine)
{
    ScriptedCodec codec;
    codec.script = {{2, Outcome::drop}, {3, Outcome::throwStandard}, {5, Outcome::throwOther}};
    std::vector<Range> calls;
    wire(codec, towardsTransport(), calls);
    std::vector<cv::Message> batch = numberedBatch({1, 2, 3, 9, 4, 5});
    batch[3].getPayload() = cv::data_t(); // kept without the message transformation

    send(codec, batch);

    EXPECT_EQ(codec.transformed, (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(batch[1].getPayload().empty());
    ASSERT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data() + 3}}));
    EXPECT_EQ(idsOf(batch.data(), batch.data() + 3), (std::vector<std::int64_t>{1, 9, 4}));
    // Dropped ones stay behind in the state their transformation left them.
    const std::vector<std::int64_t> dropped = idsOf(batch.data() + 3, batch.data() + batch.size());
    EXPECT_EQ(std::set<std::int64_t>(dropped.begin(), dropped.end()), (std::set<std::int64_t>{2, 3, 5}));
    EXPECT_EQ(
        logTexts("connectivity.name.chain"),
        (std::vector<std::string>{"3 <connectivity.name.chain> Error while transforming message: boom 3; "
                                  "Message<metadata={\"n\":3}, payload=30> will be dropped.",
                                  "3 <connectivity.name.chain> Unknown error transforming message: "
                                  "Message<metadata={\"n\":5}, payload=50>"}));
}

TEST_P(BatchLoopTest, AnErrorHandlerCanKeepTheMessageOrEndTheBatch)
{
    ScriptedCodec codec;
    codec.handler = Handler::keepStandardErrors;
    codec.script = {{1, Outcome::throwStandard}, {2, Outcome::throwOther}};
    std::vector<Range> calls;
    wire(codec, towardsTransport(), calls);
    std::vector<cv::Message> batch = numberedBatch({1, 2, 3});
    send(codec, batch);
    EXPECT_EQ(codec.directions, (std::vector<bool>{towardsTransport(), towardsTransport()}));
    ASSERT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data() + 2}}));
    EXPECT_EQ(idsOf(batch.data(), batch.data() + 2), (std::vector<std::int64_t>{1, 3}));
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_NE(logLines()[0].text.find("Unknown error transforming message: Message<metadata={\"n\":2}"),
              std::string::npos);

    // A handler that throws ends the batch before anything is passed on.
    codec.handler = Handler::rethrow;
    codec.transformed.clear();
    batch = numberedBatch({3, 1, 4});
    EXPECT_THROW(send(codec, batch), std::runtime_error);
    EXPECT_EQ(codec.transformed, (std::vector<std::int64_t>{3, 1}));
    EXPECT_EQ(calls.size(), 1u);
}

TEST_P(BatchLoopTest, TheNextElementGetsEveryBatchOnceAndItsFailureLeavesTheLoop)
{
    ScriptedCodec codec;
    codec.script = {{1, Outcome::drop}, {2, Outcome::drop}};
    std::vector<Range> calls, oppositeCalls;
    wire(codec, !towardsTransport(), oppositeCalls);
    std::vector<cv::Message> batch = numberedBatch({1, 2});
    // Unwired in this direction: transformed, and passed on nowhere.
    send(codec, batch);
    EXPECT_EQ(codec.transformed, (std::vector<std::int64_t>{1, 2}));
    EXPECT_TRUE(oppositeCalls.empty());

    wire(codec, towardsTransport(), calls);
    batch = numberedBatch({1, 2});
    send(codec, batch.data(), batch.data());
    send(codec, batch);
    EXPECT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data()}, {batch.data(), batch.data()}}));

    wire(codec, towardsTransport(), calls, true);
    EXPECT_THROW(send(codec, batch), std::runtime_error);
    EXPECT_TRUE(logLines().empty());
}

INSTANTIATE_TEST_SUITE_P(BothDirections, BatchLoopTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "TowardsTransport" : "TowardsHost";
                         });

} // namespace
