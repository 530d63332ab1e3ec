#include "connectivity/framework/config_reader.h"

#include <exception>
#include <stdexcept>
#include <utility>

#include "connectivity/framework/framework_texts.h"
#include "connectivity/values/message.h"

namespace com::velmora::connectivity10_15_4 {

ConfigReader::ConfigReader(const map_t& config, std::string displayName)
    : config_(config), displayName_(std::move(displayName))
{
    if (displayName_.empty())
        throw std::runtime_error(texts::emptyDisplayName);
}

const data_t& ConfigReader::getValue(const data_t& key) const
{
    const auto found = config_.find(key);
    if (found == config_.end())
        throw std::runtime_error(texts::keyNotFound(renderValue(key), displayName_));
    if (found->second.empty())
        throw std::runtime_error(texts::keyHasEmptyValue(renderValue(key), displayName_));
    return found->second;
}

const char* ConfigReader::getStringView(const data_t& key) const
{
    return getValue(key).get<const char*>();
}

// Only standard exceptions mean "cannot be had"; anything else is not ours to hide.
const char* ConfigReader::getStringView(const data_t& key, const char* defaultValue) const
{
    try {
        return getStringView(key);
    } catch (const std::exception&) {
        return defaultValue;
    }
}

std::string ConfigReader::getString(const data_t& key) const
{
    return getValue(key).parseAsString();
}

std::string ConfigReader::getString(const data_t& key, const std::string& defaultValue) const
{
    try {
        return getString(key);
    } catch (const std::exception&) {
        return defaultValue;
    }
}

} // namespace com::velmora::connectivity10_15_4
