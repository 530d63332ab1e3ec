// Links between chain elements: re-wiring replaces and destroys the earlier
// neighbour, and a codec releases its links transport first. That the remote
// sides hand the host's function its range untouched shows in tests/host.
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

TEST_F(ChainWiringTest, RewiringDestroysTheEarlierNeighbourAndACodecReleasesTransportFirst)
{
    std::vector<std::string> events;
    {
        PassThroughCodec codec;
        for (const char* name : {"first host", "second host"}) {
            std::unique_ptr<cv::HostSide> next = std::make_unique<NamedNeighbour>(name, events);
            codec.setNextTowardsHost(next);
            EXPECT_EQ(next, nullptr);
        }
        for (const char* name : {"first transport", "second transport"}) {
            std::unique_ptr<cv::TransportSide> next = std::make_unique<NamedNeighbour>(name, events);
            codec.setNextTowardsTransport(next);
            EXPECT_EQ(next, nullptr);
        }
        cv::Message batch[1];
        codec.sendBatchTowardsHost(batch, batch + 1);
        codec.sendBatchTowardsTransport(batch, batch + 1);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"first host destroyed", "first transport destroyed",
                                                "second host batch", "second transport batch",
                                                "second transport destroyed", "second host destroyed"}));
}

} // namespace
