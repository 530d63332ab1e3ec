// AbstractSimpleCodec's batch loop in both directions: transformation in place, kept messages
// moved to the front, drops and their lines, what the next element gets, and the neighbours' ends.
#include <initializer_list>
#include <memory>
#include <set>
#include <utility>

#include "connectivity/framework/abstract_codec.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

using Range = std::pair<cv::Message*, cv::Message*>;

cv::PluginParameters chainParameters()
{
    cv::PluginParameters params;
    params.chainId = "chain";
    params.pluginName = "name";
    return params;
}

// Multiplies each integer payload by ten, then keeps it, or drops 2, throws a standard error for 3
// and something else for 5; notes the direction each error handler call was given.
class ScriptedCodec : public cv::AbstractSimpleCodec {
public:
    ScriptedCodec() : AbstractSimpleCodec(chainParameters()) {}

    bool transformMessageTowardsHost(cv::Message& message) override { return run(message); }
    bool transformMessageTowardsTransport(cv::Message& message) override { return run(message); }
    bool handleTransformError(cv::Message& message, bool towardsTransport) override
    {
        directions.push_back(towardsTransport);
        return AbstractSimpleCodec::handleTransformError(message, towardsTransport);
    }

    std::vector<std::int64_t> transformed;
    std::vector<bool> directions;

private:
    bool run(cv::Message& message)
    {
        const std::int64_t id = message.getPayload().get<std::int64_t>();
        transformed.push_back(id);
        message.getPayload() = cv::data_t(id * 10);
        if (id == 3)
            throw std::runtime_error("boom 3");
        if (id == 5)
            throw 7;
        return id != 2;
    }
};

// The next element either way: notes batches and its end in `events`; fails without `calls`.
class Neighbour : public cv::HostSide, public cv::TransportSide {
public:
    Neighbour(std::vector<std::string>& events, std::string name, std::vector<Range>* calls = nullptr)
        : events_(events), name_(std::move(name)), calls_(calls)
    {}
    ~Neighbour() override { events_.push_back(name_ + " destroyed"); }
    void sendBatchTowardsHost(cv::Message* start, cv::Message* end) override { receive(start, end); }
    void sendBatchTowardsTransport(cv::Message* start, cv::Message* end) override { receive(start, end); }

private:
    void receive(cv::Message* start, cv::Message* end)
    {
        if (calls_ == nullptr)
            throw std::runtime_error("next failed");
        events_.push_back(name_ + " batch");
        calls_->emplace_back(start, end);
    }
    std::vector<std::string>& events_;
    std::string name_;
    std::vector<Range>* calls_;
};

// A message with an integer payload and metadata {"n": id}, so whole-record exchanges show.
std::vector<cv::Message> numberedBatch(std::initializer_list<std::int64_t> ids)
{
    std::vector<cv::Message> batch;
    for (std::int64_t id : ids)
        batch.emplace_back(cv::data_t(id), testing_support::mapOf({{"n", obclient_integer(id)}}));
    return batch;
}

// The metadata ids of a range, each checked to still sit with its own (transformed) payload.
std::vector<std::int64_t> idsOf(const cv::Message* start, const cv::Message* end)
{
    std::vector<std::int64_t> ids;
    for (const cv::Message* message = start; message != end; ++message) {
        ids.push_back(message->getMetadata().find(cv::data_t("n"))->second.get<std::int64_t>());
        if (!message->getPayload().empty()) {
            EXPECT_EQ(message->getPayload().get<std::int64_t>(), 10 * ids.back()) << "payload moved alone";
        }
    }
    return ids;
}

// Each test runs once per direction.
class BatchLoopTest : public testing_support::HostTest, public ::testing::WithParamInterface<bool> {
protected:
    void wire(bool transportSide, std::vector<Range>* calls = nullptr)
    {
        auto next = std::make_unique<Neighbour>(events, transportSide ? "transport" : "host", calls);
        transportSide ? codec->setNextTowardsTransport(std::move(next))
                      : codec->setNextTowardsHost(std::move(next));
    }
    void send(cv::Message* start, cv::Message* end)
    {
        GetParam() ? codec->sendBatchTowardsTransport(start, end) : codec->sendBatchTowardsHost(start, end);
    }

    std::vector<std::string> events;
    std::unique_ptr<ScriptedCodec> codec = std::make_unique<ScriptedCodec>();
};

TEST_P(BatchLoopTest, KeptMessagesMoveToTheFrontAndEachFailedOneIsDroppedWithOneLine)
{
    std::vector<Range> calls;
    wire(GetParam(), &calls);
    std::vector<cv::Message> batch = numberedBatch({1, 2, 3, 9, 4, 5});
    batch[3].getPayload() = cv::data_t(); // kept without the message transformation

    send(batch.data(), batch.data() + batch.size());

    EXPECT_EQ(codec->transformed, (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(codec->directions, (std::vector<bool>{GetParam(), GetParam()}));
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

// A rewired neighbour is destroyed at once; at the end a codec releases its transport side first.
TEST_P(BatchLoopTest, UnwiredEmptyOrFailingNextAndTheNeighboursEnds)
{
    std::vector<Range> calls, oppositeCalls;
    wire(!GetParam(), &oppositeCalls);
    std::vector<cv::Message> batch = numberedBatch({1, 4});
    send(batch.data(), batch.data() + batch.size());
    EXPECT_EQ(codec->transformed, (std::vector<std::int64_t>{1, 4}));
    EXPECT_TRUE(oppositeCalls.empty());

    wire(GetParam(), &calls);
    send(batch.data(), batch.data());
    EXPECT_EQ(calls, (std::vector<Range>{{batch.data(), batch.data()}}));
    wire(GetParam());
    EXPECT_THROW(send(batch.data(), batch.data() + batch.size()), std::runtime_error);
    EXPECT_TRUE(logLines().empty());
    codec.reset();
    const std::string side = GetParam() ? "transport" : "host";
    EXPECT_EQ(events, (std::vector<std::string>{side + " batch", side + " destroyed", "transport destroyed",
                                                "host destroyed"}));
}

INSTANTIATE_TEST_SUITE_P(BothDirections, BatchLoopTest, ::testing::Bool());

} // namespace
