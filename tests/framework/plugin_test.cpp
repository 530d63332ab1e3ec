// What a Plugin keeps from its construction parameters, and that going away
// tells the host nothing when there is no status to publish.
#include <utility>

#include "connectivity/framework/plugin.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

using PluginTest = testing_support::HostTest;

TEST_F(PluginTest, KeepsItsOwnIdentityConfigurationAndLogCategory)
{
    obclient_set_log_level("connectivity.reader.line-7", 6);
    const std::uint64_t statusCallsBefore = obclient_user_status_calls();
    int hostHandle = 0;
    {
        cv::PluginParameters params;
        params.chainId = "line-7";
        params.pluginName = "reader";
        params.hostHandle = &hostHandle;
        params.config[cv::data_t("interval")] = cv::data_t(5);
        auto plugin = std::make_unique<cv::Plugin>(params);

        EXPECT_NE(plugin->getConfig().table(), params.config.table());
        params = cv::PluginParameters();
        const auto found = plugin->getConfig().find(cv::data_t("interval"));
        ASSERT_TRUE(found != plugin->getConfig().end());
        EXPECT_EQ(found->second.get<std::int64_t>(), 5);
        EXPECT_EQ(plugin->getPluginName(), "reader");
        EXPECT_EQ(plugin->getChainId(), "line-7");
        EXPECT_EQ(plugin->getLogger().category(), "connectivity.reader.line-7");
        EXPECT_EQ(plugin->getLogger().level(), 6);

        plugin->start();
        plugin->hostReady();
        plugin->shutdown();
    }
    EXPECT_EQ(obclient_user_status_calls(), statusCallsBefore);
    EXPECT_EQ(obclient_user_status(&hostHandle), nullptr);
    EXPECT_TRUE(logLines().empty());
}

} // namespace
