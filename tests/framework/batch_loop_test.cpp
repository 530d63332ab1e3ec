// The batch loop of AbstractSimpleCodec, run in both directions: in-place
// transformation, compaction of kept messages, drops and their log lines, and
// what the next element receives.
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
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

// Multiplies each integer payload by ten, then does what the script says for that payload.
class ScriptedCodec : public cv::AbstractSimpleCodec {
public:
    ScriptedCodec()
        : AbstractSimpleCodec(cv::PluginParameters{"chain", "name", cv::map_t(), nullptr, nullptr})
    {}

    bool transformMessageTowardsHost(cv::Message& message) override { return run(message); }
    bool transformMessageTowardsTransport(cv::Message& message) override { return run(message); }

    std::map<std::int64_t, Outcome> script;
    std::vector<std::int64_t> transformed;

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

std::int64_t payloadOf(const cv::Message& message)
{
    return message.getPayload().get<std::int64_t>();
}

std::int64_t metadataIdOf(const cv::Message& message)
{
    return message.getMetadata().find(cv::data_t("n"))->second.get<std::int64_t>();
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

TEST_P(BatchLoopTest, KeptMessagesMoveToTheFrontInOrderAndOnlyTheyArePassedOn)
{
    ScriptedCodec codec;
    codec.script = {{2, Outcome::drop}, {4, Outcome::drop}};
    std::vector<Range> calls;
    wire(codec, towardsTransport(), calls);
    std::vector<cv::Message> batch = numberedBatch({1, 2, 3, 4});

    send(codec, batch);

    EXPECT_EQ(codec.transformed, (std::vector<std::int64_t>{1, 2, 3, 4}));
    // Transformed in place; dropped ones stay behind in the state their transformation left them.
    std::vector<std::int64_t> payloads, metadataIds;
    for (const cv::Message& message : batch) {
        payloads.push_back(payloadOf(message));
        metadataIds.push_back(metadataIdOf(message));
    }
    EXPECT_EQ(payloads, (std::vector<std::int64_t>{10, 30, 20, 40}));
    EXPECT_EQ(metadataIds, (std::vector<std::int64_t>{1, 3, 2, 4}));
    EXPECT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data() + 2}}));
    EXPECT_TRUE(logLines().empty());
}

TEST_P(BatchLoopTest, AThrowingTransformationDropsItsMessageWithOneErrorLine)
{
    ScriptedCodec codec;
    codec.script = {{1, Outcome::throwStandard}, {3, Outcome::throwOther}};
    std::vector<Range> calls;
    wire(codec, towardsTransport(), calls);
    std::vector<cv::Message> batch = numberedBatch({1, 2, 3, 4});

    send(codec, batch);

    ASSERT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data() + 2}}));
    EXPECT_EQ(payloadOf(batch[0]), 20);
    EXPECT_EQ(payloadOf(batch[1]), 40);
    ASSERT_EQ(logLines().size(), 2u);
    EXPECT_EQ(logLines()[0].category, "connectivity.name.chain");
    EXPECT_EQ(logLines()[0].level, 3);
    EXPECT_EQ(logLines()[0].text, "<connectivity.name.chain> Error while transforming message: boom 1; "
                                  "Message<metadata={\"n\":1}, payload=10> will be dropped.");
    EXPECT_EQ(logLines()[1].level, 3);
    EXPECT_EQ(logLines()[1].text, "<connectivity.name.chain> Unknown error transforming message: "
                                  "Message<metadata={\"n\":3}, payload=30>");
}

TEST_P(BatchLoopTest, AnErrorHandlerCanRethrowToKeepTheMessage)
{
    // Keeps messages whose transformation threw a standard error; notes the direction it was told.
    struct ForgivingCodec : ScriptedCodec {
        bool handleTransformError(cv::Message& message, bool towardsTransport) override
        {
            directions.push_back(towardsTransport);
            try {
                throw;
            } catch (const std::runtime_error&) {
                return true;
            } catch (...) {
                return AbstractSimpleCodec::handleTransformError(message, towardsTransport);
            }
        }
        std::vector<bool> directions;
    } codec;
    codec.script = {{1, Outcome::throwStandard}, {2, Outcome::throwOther}};
    std::vector<Range> calls;
    wire(codec, towardsTransport(), calls);
    std::vector<cv::Message> batch = numberedBatch({1, 2, 3});

    send(codec, batch);

    EXPECT_EQ(codec.directions, (std::vector<bool>{towardsTransport(), towardsTransport()}));
    ASSERT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data() + 2}}));
    EXPECT_EQ(payloadOf(batch[0]), 10);
    EXPECT_EQ(payloadOf(batch[1]), 30);
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_NE(logLines()[0].text.find("Unknown error transforming message"), std::string::npos);
}

TEST_P(BatchLoopTest, AnEmptyPayloadIsKeptWithoutTheMessageTransformation)
{
    ScriptedCodec codec;
    std::vector<Range> calls;
    wire(codec, towardsTransport(), calls);
    std::vector<cv::Message> batch = numberedBatch({9, 1});
    batch[0].getPayload() = cv::data_t();

    send(codec, batch);

    EXPECT_EQ(codec.transformed, (std::vector<std::int64_t>{1}));
    EXPECT_TRUE(batch[0].getPayload().empty());
    EXPECT_EQ(metadataIdOf(batch[0]), 9);
    EXPECT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data() + 2}}));
}

TEST_P(BatchLoopTest, TheNextElementIsCalledOnceEvenWhenNothingIsKept)
{
    ScriptedCodec codec;
    codec.script = {{1, Outcome::drop}, {2, Outcome::drop}};
    std::vector<Range> calls;
    wire(codec, towardsTransport(), calls);
    std::vector<cv::Message> batch = numberedBatch({1, 2});

    send(codec, batch.data(), batch.data());
    send(codec, batch);

    EXPECT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data()}, {batch.data(), batch.data()}}));
}

TEST_P(BatchLoopTest, AnUnwiredDirectionTransformsAndPassesNothingOn)
{
    ScriptedCodec codec;
    std::vector<Range> oppositeCalls;
    wire(codec, !towardsTransport(), oppositeCalls);
    std::vector<cv::Message> batch = numberedBatch({1, 2});

    send(codec, batch);

    EXPECT_EQ(codec.transformed, (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(payloadOf(batch[1]), 20);
    EXPECT_TRUE(oppositeCalls.empty());
    EXPECT_TRUE(logLines().empty());
}

TEST_P(BatchLoopTest, FailuresOutsideOneMessageLeaveTheLoop)
{
    ScriptedCodec failingNext;
    std::vector<Range> calls;
    wire(failingNext, towardsTransport(), calls, true);
    std::vector<cv::Message> batch = numberedBatch({1});
    EXPECT_THROW(send(failingNext, batch), std::runtime_error);

    // An error handler that throws ends the batch before anything is passed on.
    struct RethrowingCodec : ScriptedCodec {
        bool handleTransformError(cv::Message&, bool) override { throw; }
    } rethrowing;
    rethrowing.script = {{2, Outcome::throwStandard}};
    wire(rethrowing, towardsTransport(), calls);
    std::vector<cv::Message> second = numberedBatch({1, 2, 3});
    EXPECT_THROW(send(rethrowing, second), std::runtime_error);
    EXPECT_EQ(rethrowing.transformed, (std::vector<std::int64_t>{1, 2}));
    EXPECT_TRUE(calls.empty());
}

INSTANTIATE_TEST_SUITE_P(BothDirections, BatchLoopTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "TowardsTransport" : "TowardsHost";
                         });

} // namespace
