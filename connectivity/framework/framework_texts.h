// Fixed texts of the framework's failures and log lines.
#pragma once

#include <string>

namespace com::velmora::connectivity10_15_4::texts {

// Every plug-in logs under "connectivity.<pluginName>.<chainId>".
inline constexpr const char* logCategoryRoot = "connectivity.";
inline constexpr const char* logCategorySeparator = ".";

inline constexpr const char* transformErrorDropped =
    "Error while transforming message: %s; %s will be dropped.";
inline constexpr const char* unknownTransformError = "Unknown error transforming message: %s";

inline constexpr const char* exceptionFrom = "Exception from %s: %s";
inline constexpr const char* unknownExceptionFrom = "Unknown exception from %s";

inline constexpr const char* emptyDisplayName = "displayName cannot be empty";

inline std::string keyNotFound(const std::string& key, const std::string& displayName)
{
    return "Key '" + key + "' not found in " + displayName;
}

inline std::string keyHasEmptyValue(const std::string& key, const std::string& displayName)
{
    return "Key '" + key + "' has an empty value in " + displayName;
}

} // namespace com::velmora::connectivity10_15_4::texts
