#include "tools/replay/jsonl_reader.h"

#include "tools/common/json_value.h"
#include "tools/common/message_json.h"
#include "tools/common/wide_integers.h"

namespace replay {

static_assert(LineReader::linePadding >= simdjson::SIMDJSON_PADDING, "lines are parsed where they lie");

bool JsonlReader::next(vlm_message_t& message)
{
    Line line;
    while (source_.lines().next(line)) {
        if (line.oversized)
            errors_.reportOversized(source_.name(), line.number, source_.lines().maxLineBytes());
        else if (!line.blank() && readLine(line, message))
            return true;
    }
    return false;
}

bool JsonlReader::readLine(const Line& line, vlm_message_t& message)
{
    simdjson::dom::element json;
    constexpr bool padded = true; // the line reader leaves the padding simdjson reads into
    const simdjson::error_code error =
        tools::parseWideningIntegers(parser_, line.text, padded, widened_, json);
    if (error) {
        errors_.report(source_.name(), line.number, tools::notJsonReason(error, !line.terminated));
        return false;
    }
    if (!tools::readMessage(json, message, reason_, tools::limitsForText(line.text, source_.valueLimits()))) {
        errors_.report(source_.name(), line.number, reason_);
        return false;
    }
    return true;
}

} // namespace replay
