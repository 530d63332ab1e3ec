#include "tools/common/configuration_warnings.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "host/map_policy.h"
#include "tools/common/texts.h"

namespace tools {

namespace {

bool isText(uint32_t tag)
{
    return tag == VLM_TAG_STRING || tag == VLM_TAG_BORROWED_STRING;
}

// The codec turns a scalar into text where it reads it as text.
bool isScalar(uint32_t tag)
{
    return isText(tag) || tag == VLM_TAG_BOOLEAN || tag == VLM_TAG_DOUBLE || tag == VLM_TAG_INTEGER;
}

// The keys the codec reads, what it can use of each, and what it takes otherwise. The plug-in
// documents these; a host program cannot ask it.
struct KeyRule {
    const char* key;
    bool (*usable)(uint32_t tag);
    const char* wants;
    const char* fallback;
};

constexpr KeyRule keyRules[] = {
    {"measurementSplittingChannel", isText, "text", "\"tessaro.measurements\""},
    {"towardsHostChannelPrefix", isScalar, "text, a number or a boolean", "no prefix"},
    {"tenantId", isText, "text", "no tenant"},
};

// A host may hand over a string whose text pointer is null: the empty text.
std::string stringOf(const vlm_data_t& text)
{
    return text.payload.borrowed != nullptr ? text.payload.borrowed : "";
}

const char* kindOf(uint32_t tag)
{
    switch (tag) {
    case VLM_TAG_EMPTY:
        return "nothing (null)";
    case VLM_TAG_BOOLEAN:
        return "a boolean";
    case VLM_TAG_DOUBLE:
        return "a fractional number";
    case VLM_TAG_INTEGER:
        return "an integer";
    case VLM_TAG_DECIMAL:
        return "a decimal";
    case VLM_TAG_LIST:
        return "a list";
    case VLM_TAG_MAP:
        return "a map";
    case VLM_TAG_BUFFER:
        return "a buffer";
    case VLM_TAG_CUSTOM:
        return "a custom object";
    default:
        return "text";
    }
}

std::string knownKeys()
{
    std::string keys;
    for (const KeyRule& rule : keyRules) {
        if (!keys.empty())
            keys += ", ";
        keys += std::string("\"") + rule.key + "\"";
    }
    return keys;
}

std::string warningFor(const std::string& key, uint32_t tag)
{
    const auto rule = std::find_if(std::begin(keyRules), std::end(keyRules),
                                   [&key](const KeyRule& candidate) { return key == candidate.key; });
    if (rule == std::end(keyRules))
        return texts::keyNotRead + key + texts::keyNotReadReason + knownKeys();
    if (rule->usable(tag))
        return {};
    return texts::keyNotRead + key + texts::keyOfWrongKind + kindOf(tag) + texts::keyWants + rule->wants +
           texts::keyTakesDefault + rule->fallback;
}

} // namespace

std::vector<std::string> configurationWarnings(const vlm_data_t& config)
{
    std::vector<std::pair<std::string, uint32_t>> entries;
    if (config.tag == VLM_TAG_MAP && config.payload.map != nullptr) {
        const vlm_map_slot_t* slots = vlm_map_slots(config.payload.map);
        for (uint64_t i = 0; i < config.payload.map->capacity; ++i) {
            // The configuration reader only makes text keys.
            if (vlm::map_policy::isOccupiedSlot(slots[i]) && isText(slots[i].key.tag))
                entries.emplace_back(stringOf(slots[i].key), slots[i].value.tag);
        }
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> warnings;
    for (const auto& [key, tag] : entries) {
        std::string warning = warningFor(key, tag);
        if (!warning.empty())
            warnings.push_back(std::move(warning));
    }
    return warnings;
}

size_t printConfigurationWarnings(const char* toolName, const vlm_data_t& config)
{
    const std::vector<std::string> warnings = configurationWarnings(config);
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "%s: %s\n", toolName, warning.c_str());
    return warnings.size();
}

} // namespace tools
