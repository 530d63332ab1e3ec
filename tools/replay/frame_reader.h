// Captured websocket notification frames in the file form (tools/common/frame_text.h),
// one after the other; a body may span several lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/common/frame.h"
#include "tools/common/frame_text.h"
#include "tools/replay/input.h"

namespace replay {

class FrameReader : public MessageReader {
public:
    FrameReader(InputSource& source, InputErrors& errors, const ActionFilter* filter = nullptr)
        : source_(source), errors_(errors), filter_(filter)
    {}
    bool next(vlm_message_t& message) override;

private:
    struct Frame {
        uint64_t firstLine = 0;
        uint64_t bodyLine = 0;
        std::vector<std::string> header; // the first lines only: a frame needs no more
        size_t headerCount = 0;
        bool hasBody = false;
        std::string body;
        size_t bytes = 0;       // every line of the frame, with its line end
        bool oversized = false; // longer than the record limit: nothing more is kept
        bool cutShort = false;  // the input ended inside the frame on a line without a line end
    };

    bool collect(Frame& frame);
    bool toMessage(const Frame& frame, vlm_message_t& message);
    // Counts the frame as skipped when its action is not asked for.
    bool skipped(const Frame& frame);

    InputSource& source_;
    InputErrors& errors_;
    const ActionFilter* filter_;
    tools::FrameConverter converter_;
    std::string reason_;
};

} // namespace replay
