#include "tools/replay/jsonl_reader.h"

#include "tools/common/json_value.h"
#include "tools/common/message_json.h"

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
    constexpr bool copyForPadding = false; // the line reader leaves the padding simdjson reads into
    const simdjson::error_code error =
        parser_.parse(line.text.data(), line.text.size(), copyForPadding).get(json);
    if (error) {
        errors_.report(source_.name(), line.number, tools::notJsonReason(error, !line.terminated));
        return false;
    }
    if (!tools::readMessage(json, message, reason_)) {
        errors_.report(source_.name(), line.number, reason_);
        return false;
    }
    return true;
}

} // namespace replay
