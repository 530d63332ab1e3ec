// Typed reads of a plug-in's configuration map, with errors that name the
// element whose configuration is wrong.
#pragma once

#include <string>

#include "connectivity/values/data_t.h"
#include "connectivity/values/map_t.h"

namespace com::velmora::connectivity10_15_4 {

class ConfigReader {
public:
    // The map is referred to, not copied: it must outlive the reader.
    ConfigReader(const map_t& config, std::string displayName);

    // Throws when the key is missing or holds the empty value.
    const data_t& getValue(const data_t& key) const;

    // A view into the map's own storage, valid while the map is unchanged.
    const char* getStringView(const data_t& key) const;
    // Missing, empty or non-string values give the default itself.
    const char* getStringView(const data_t& key, const char* defaultValue) const;

    // Booleans and numbers are turned into text; other kinds throw.
    std::string getString(const data_t& key) const;
    std::string getString(const data_t& key, const std::string& defaultValue) const;

private:
    const map_t& config_;
    std::string displayName_;
};

} // namespace com::velmora::connectivity10_15_4
