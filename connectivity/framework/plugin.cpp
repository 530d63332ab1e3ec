#include "connectivity/framework/plugin.h"

#include "connectivity/framework/log_category.h"
#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {

Plugin::Plugin(const PluginParameters& params)
    : pluginName(params.pluginName), chainId(params.chainId), config(params.config),
      logger(pluginLogCategory(pluginName, chainId))
{}

// Out of line: the class's virtual table is then emitted here alone.
Plugin::~Plugin() = default;

} // namespace com::velmora::connectivity10_15_4
