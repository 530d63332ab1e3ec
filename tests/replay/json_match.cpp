#include "tests/replay/json_match.h"

#include <simdjson.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace replay_testing {

namespace {

using simdjson::dom::element;

// The minified text with every object's entries sorted by key: equal values give equal texts,
// and minify keeps 1 and 1.0 apart.
std::string canonical(element value)
{
    if (value.is_array()) {
        std::string text = "[";
        for (element item : value.get_array())
            text += (text.size() > 1 ? "," : "") + canonical(item);
        return text + "]";
    }
    if (!value.is_object())
        return simdjson::minify(value);
    std::vector<std::pair<std::string, std::string>> entries;
    for (auto [key, item] : value.get_object())
        entries.emplace_back(std::string(key), canonical(item));
    std::sort(entries.begin(), entries.end());
    std::string text = "{";
    for (const auto& [key, item] : entries)
        text += (text.size() > 1 ? ",\"" : "\"") + key + "\":" + item;
    return text + "}";
}

} // namespace

std::string jsonDifference(const std::string& actual, const std::string& expected)
{
    simdjson::dom::parser parser;
    element value;
    if (parser.parse(actual).get(value))
        return "not JSON: " + actual;
    const std::string actualText = canonical(value);
    if (parser.parse(expected).get(value))
        return "the expected text is not JSON: " + expected;
    const std::string expectedText = canonical(value);
    return actualText == expectedText ? "" : actualText + " where " + expectedText + " was expected";
}

} // namespace replay_testing
