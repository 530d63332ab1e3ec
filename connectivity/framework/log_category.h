// The host log category of a plug-in. Creation needs it too, to report a
// failure before any plug-in (and so any Logger of one) exists.
#pragma once

#include <string>

#include "connectivity/framework/framework_texts.h"

namespace com::velmora::connectivity10_15_4 {

inline std::string pluginLogCategory(const std::string& pluginName, const std::string& chainId)
{
    return texts::logCategoryRoot + pluginName + texts::logCategorySeparator + chainId;
}

} // namespace com::velmora::connectivity10_15_4
