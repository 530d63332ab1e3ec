#include "tools/replay/frame_reader.h"

#include <algorithm>

#include "tools/common/texts.h"

namespace replay {

bool FrameReader::next(vlm_message_t& message)
{
    Frame frame;
    while (collect(frame)) {
        if (toMessage(frame, message))
            return true;
    }
    return false;
}

// Reads up to the end of the next frame; false when no frame is left.
bool FrameReader::collect(Frame& frame)
{
    frame = Frame{};
    bool started = false;
    Line line;
    const size_t maxBytes = source_.lines().maxLineBytes();
    while (source_.lines().next(line)) {
        frame.cutShort = !line.terminated;
        if (tools::isFrameSeparator(line.text)) {
            if (started)
                return true;
            continue;
        }
        if (!started) {
            if (line.blank())
                continue;
            started = true;
            frame.firstLine = line.number;
        }
        frame.bytes += line.text.size() + 1;
        if (line.oversized || frame.bytes > maxBytes) {
            frame.oversized = true;
            frame.header = {};
            frame.body = {};
            continue;
        }
        if (frame.hasBody) {
            frame.body.append(line.text).push_back('\n');
        } else if (line.blank()) {
            frame.hasBody = true;
            frame.bodyLine = line.number + 1;
        } else if (++frame.headerCount <= tools::frameHeaderLines) { // the service may add more: ignored
            frame.header.emplace_back(line.text);
        }
    }
    return started;
}

bool FrameReader::toMessage(const Frame& frame, vlm_message_t& message)
{
    if (frame.oversized) {
        errors_.reportOversized(source_.name(), frame.firstLine, source_.lines().maxLineBytes());
        return false;
    }
    if (!frame.hasBody) {
        errors_.report(source_.name(), frame.firstLine, tools::texts::frameWithoutBody);
        return false;
    }
    if (skipped(frame))
        return false;
    tools::FramePart fault = tools::FramePart::Header;
    if (converter_.toMessage(frame.header, frame.body, frame.cutShort, message, fault, reason_,
                             source_.valueLimits()))
        return true;
    const uint64_t line = fault == tools::FramePart::Body   ? frame.bodyLine
                          : fault == tools::FramePart::Path ? frame.firstLine + tools::pathLine
                                                            : frame.firstLine;
    errors_.report(source_.name(), line, reason_);
    return false;
}

// As the live consumer decides, so that a capture replays to the summary of its live run.
bool FrameReader::skipped(const Frame& frame)
{
    if (filter_ == nullptr || frame.header.size() <= tools::actionLine)
        return false;
    const std::string& action = frame.header[tools::actionLine];
    if (std::find(filter_->actions.begin(), filter_->actions.end(), action) != filter_->actions.end())
        return false;
    filter_->skipped.add(action);
    return true;
}

} // namespace replay
