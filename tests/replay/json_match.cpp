#include "tests/replay/json_match.h"

#include <simdjson.h>

namespace replay_testing {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

std::string differenceAt(const std::string& path, element actual, element expected)
{
    const auto shown = [&] {
        return path + ": " + simdjson::minify(actual) + " where " + simdjson::minify(expected) +
               " was expected";
    };
    if (actual.type() != expected.type())
        return shown();
    switch (actual.type()) {
    case element_type::OBJECT: {
        if (actual.get_object().size() != expected.get_object().size())
            return shown();
        for (auto [key, value] : expected.get_object()) {
            element counterpart;
            if (actual.get_object().at_key(key).get(counterpart))
                return shown();
            std::string inner = differenceAt(path + "." + std::string(key), counterpart, value);
            if (!inner.empty())
                return inner;
        }
        return "";
    }
    case element_type::ARRAY: {
        if (actual.get_array().size() != expected.get_array().size())
            return shown();
        size_t index = 0;
        for (element value : expected.get_array()) {
            std::string inner = differenceAt(path + "[" + std::to_string(index) + "]",
                                             actual.get_array().at(index).value(), value);
            if (!inner.empty())
                return inner;
            ++index;
        }
        return "";
    }
    case element_type::DOUBLE:
        return actual.get_double().value() == expected.get_double().value() ? "" : shown();
    default:
        return simdjson::minify(actual) == simdjson::minify(expected) ? "" : shown();
    }
}

} // namespace

std::string jsonDifference(const std::string& actual, const std::string& expected)
{
    simdjson::dom::parser actualParser;
    simdjson::dom::parser expectedParser;
    element actualValue;
    element expectedValue;
    if (actualParser.parse(actual).get(actualValue))
        return "not JSON: " + actual;
    if (expectedParser.parse(expected).get(expectedValue))
        return "the expected text is not JSON: " + expected;
    return differenceAt("$", actualValue, expectedValue);
}

} // namespace replay_testing
