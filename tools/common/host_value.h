// Single owner of one host value, so that a record left half-built by bad input
// is still released exactly once.
#pragma once

#include <string_view>

#include "obclient/obclient.h"

namespace tools {

class HostValue {
public:
    HostValue() = default;
    explicit HostValue(vlm_data_t value) : value_(value) {}
    HostValue(HostValue&& other) noexcept : value_(other.release()) {}
    HostValue& operator=(HostValue&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    HostValue(const HostValue&) = delete;
    HostValue& operator=(const HostValue&) = delete;
    ~HostValue() { freeValue(value_); }

    vlm_data_t& get() { return value_; }
    const vlm_data_t& get() const { return value_; }

    // Hands the value over; this holder is empty afterwards.
    vlm_data_t release()
    {
        vlm_data_t value = value_;
        value_ = vlm_data_t{};
        return value;
    }

    void reset(vlm_data_t value = vlm_data_t{})
    {
        freeValue(value_);
        value_ = value;
    }

private:
    // Most holders are empty by the time they go; those need no call into the host.
    static void freeValue(const vlm_data_t& value)
    {
        if (value.tag != VLM_TAG_EMPTY)
            obclient_free_data(value);
    }

    vlm_data_t value_{};
};

// Host strings end at their first NUL, so a text holding one would arrive cut
// short; it is refused instead (false, nothing allocated).
bool makeHostString(std::string_view text, HostValue& out);

// Puts key = value into *table, replacing the value of an existing key (the host's
// own insertion keeps the first one). Takes the value in every case.
void putMapEntry(vlm_map_table_t** table, const char* key, HostValue value);

// Every host value a tool built or the codec made must be gone once the plug-in is unloaded; a leak
// is reported as toolName's, and in checked mode stops the process, as a wrong free does.
void checkHostValuesReleased(const char* toolName, const obclient_counts_t& before);

} // namespace tools
