#include "connectivity/framework/plugin.h"

#include "connectivity/framework/log_category.h"
#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {

UserStatusHolder::~UserStatusHolder()
{
    // The host copies what it is given; pendingStatus then frees the table (absent or not).
    if (!pendingStatus.empty())
        vlm_set_user_status_map(hostHandle, pendingStatus.table());
}

Plugin::Plugin(const PluginParameters& params)
    : pluginName(params.pluginName), chainId(params.chainId), config(params.config),
      hostContext(params.hostContext), logger(pluginLogCategory(pluginName, chainId)),
      userStatus(std::make_unique<UserStatusHolder>(params.hostHandle))
{}

// Members go in reverse order of declaration: the status holder publishes while
// the logger and configuration still exist, the identity texts go last.
Plugin::~Plugin() = default;

} // namespace com::velmora::connectivity10_15_4
