// JSONL input: one message per line; blank lines are not records and are skipped.
#pragma once

#include <simdjson.h>

#include <string>

#include "tools/replay/input.h"

namespace replay {

class JsonlReader : public MessageReader {
public:
    JsonlReader(InputSource& source, InputErrors& errors) : source_(source), errors_(errors) {}
    bool next(vlm_message_t& message) override;

private:
    bool readLine(const Line& line, vlm_message_t& message);
    void watchForFrames(const Line& line, bool json);

    InputSource& source_;
    InputErrors& errors_;
    simdjson::dom::parser parser_;
    std::string widened_; // a line whose integers beyond 64 bits were given a fraction
    std::string reason_;
    // Whether the input's first lines could still be a frame's header; only a reader that
    // starts at the input's first line watches, so every number of workers says it alike.
    bool started_ = false;
    bool watching_ = false;
    size_t headerLikeLines_ = 0;
};

} // namespace replay
