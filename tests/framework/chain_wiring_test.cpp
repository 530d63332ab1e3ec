// Links between chain elements: re-wiring replaces and destroys the earlier
// neighbour, a codec releases its links transport first, and the remote sides
// hand batches to the host's function untouched.
#include <memory>
#include <string>
#include <vector>

#include "connectivity/framework/abstract_codec.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

class PassThroughCodec : public cv::AbstractSimpleCodec {
public:
    PassThroughCodec()
        : AbstractSimpleCodec(cv::PluginParameters{"chain", "name", cv::map_t(), nullptr, nullptr})
    {}
    bool transformMessageTowardsHost(cv::Message&) override { return true; }
    bool transformMessageTowardsTransport(cv::Message&) override { return true; }
};

// A next element in either direction that notes its batches and its destruction under its own name.
class NamedNeighbour : public cv::HostSide, public cv::TransportSide {
public:
    NamedNeighbour(std::string name, std::vector<std::string>& events)
        : name_(std::move(name)), events_(events)
    {}
    ~NamedNeighbour() override { events_.push_back(name_ + " destroyed"); }
    void sendBatchTowardsHost(cv::Message*, cv::Message*) override { events_.push_back(name_ + " batch"); }
    void sendBatchTowardsTransport(cv::Message*, cv::Message*) override
    {
        events_.push_back(name_ + " batch");
    }

private:
    std::string name_;
    std::vector<std::string>& events_;
};

using ChainWiringTest = testing_support::HostTest;

TEST_F(ChainWiringTest, RewiringDestroysTheEarlierNeighbourAndKeepsTheLatest)
{
    std::vector<std::string> events;
    PassThroughCodec codec;
    std::unique_ptr<cv::HostSide> first = std::make_unique<NamedNeighbour>("first", events);
    codec.setNextTowardsHost(first);
    EXPECT_EQ(first, nullptr);
    std::unique_ptr<cv::HostSide> second = std::make_unique<NamedNeighbour>("second", events);
    codec.setNextTowardsHost(second);
    EXPECT_EQ(second, nullptr);
    std::unique_ptr<cv::TransportSide> third = std::make_unique<NamedNeighbour>("third", events);
    codec.setNextTowardsTransport(third);
    std::unique_ptr<cv::TransportSide> fourth = std::make_unique<NamedNeighbour>("fourth", events);
    codec.setNextTowardsTransport(fourth);
    EXPECT_EQ(fourth, nullptr);

    cv::Message batch[1];
    codec.sendBatchTowardsHost(batch, batch + 1);
    codec.sendBatchTowardsTransport(batch, batch + 1);

    EXPECT_EQ(events, (std::vector<std::string>{"first destroyed", "third destroyed", "second batch",
                                                "fourth batch"}));
}

TEST_F(ChainWiringTest, ACodecReleasesItsTransportLinkBeforeItsHostLink)
{
    std::vector<std::string> events;
    {
        PassThroughCodec codec;
        std::unique_ptr<cv::HostSide> host = std::make_unique<NamedNeighbour>("host", events);
        codec.setNextTowardsHost(host);
        std::unique_ptr<cv::TransportSide> transport = std::make_unique<NamedNeighbour>("transport", events);
        codec.setNextTowardsTransport(transport);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"transport destroyed", "host destroyed"}));
}

struct HostCall {
    void* handle;
    vlm_message_t* start;
    vlm_message_t* end;
};

std::vector<HostCall>& hostCalls()
{
    static std::vector<HostCall> calls;
    return calls;
}

// Reports failure: a remote side must not care.
int32_t recordHostCall(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    hostCalls().push_back(HostCall{handle, start, end});
    return 1;
}

TEST_F(ChainWiringTest, RemoteSidesPassTheRangeToTheHostFunctionUnchanged)
{
    hostCalls().clear();
    int nextElement = 0;
    cv::Message batch[2];
    cv::RemoteHostSide towardsHost(&nextElement, &recordHostCall);
    cv::RemoteTransportSide towardsTransport(&batch, &recordHostCall);

    towardsHost.sendBatchTowardsHost(batch, batch + 2);
    towardsTransport.sendBatchTowardsTransport(batch + 1, batch + 1);

    ASSERT_EQ(hostCalls().size(), 2u);
    vlm_message_t* records = reinterpret_cast<vlm_message_t*>(batch);
    EXPECT_EQ(hostCalls()[0].handle, &nextElement);
    EXPECT_EQ(hostCalls()[0].start, records);
    EXPECT_EQ(hostCalls()[0].end, records + 2);
    EXPECT_EQ(hostCalls()[1].handle, static_cast<void*>(&batch));
    EXPECT_EQ(hostCalls()[1].start, records + 1);
    EXPECT_EQ(hostCalls()[1].end, records + 1);
}

} // namespace
