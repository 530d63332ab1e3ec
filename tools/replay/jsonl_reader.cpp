#include "tools/replay/jsonl_reader.h"

#include "tools/common/frame.h"
#include "tools/common/json_value.h"
#include "tools/common/message_json.h"
#include "tools/common/wide_integers.h"
#include "tools/replay/replay_texts.h"

namespace replay {

static_assert(LineReader::linePadding >= simdjson::SIMDJSON_PADDING, "lines are parsed where they lie");

bool JsonlReader::next(vlm_message_t& message)
{
    Line line;
    while (source_.lines().next(line)) {
        if (!started_) {
            started_ = true;
            watching_ = line.number == 1;
        }
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
        watchForFrames(line, false);
        return false;
    }
    watchForFrames(line, true);
    if (!tools::readMessage(json, message, reason_, tools::limitsForText(line.text, source_.valueLimits()))) {
        errors_.report(source_.name(), line.number, reason_);
        return false;
    }
    return true;
}

// A frames file read as JSON lines fails on every header line. Once its first frame's three
// header lines have failed, the third one an action, saying so once spares the reader the rest.
void JsonlReader::watchForFrames(const Line& line, bool json)
{
    if (!watching_)
        return;
    if (json) {
        watching_ = false;
        return;
    }
    if (++headerLikeLines_ < tools::frameHeaderLines)
        return;
    watching_ = false;
    if (line.text == "CREATE" || line.text == "UPDATE" || line.text == "DELETE")
        errors_.note(source_.name(), texts::looksLikeFrames);
}

} // namespace replay
