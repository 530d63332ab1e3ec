#include "tools/replay/frame_reader.h"

#include "tools/replay/host_value.h"
#include "tools/replay/json_value.h"
#include "tools/replay/replay_texts.h"

namespace replay {

namespace {

constexpr std::string_view frameSeparator = "---";
constexpr size_t headerLines = 3;
constexpr size_t pathLine = 1;
constexpr const char* pathKey = "pulsarPath";

} // namespace

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
    while (source_.lines().next(line)) {
        frame.cutShort = !line.terminated;
        if (line.text == frameSeparator) {
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
        if (frame.hasBody) {
            frame.body.append(line.text).push_back('\n');
        } else if (line.blank()) {
            frame.hasBody = true;
            frame.bodyLine = line.number + 1;
        } else {
            frame.header.emplace_back(line.text);
        }
    }
    return started;
}

bool FrameReader::toMessage(const Frame& frame, vlm_message_t& message)
{
    if (!frame.hasBody) {
        errors_.report(source_.name(), frame.firstLine, texts::frameWithoutBody);
        return false;
    }
    if (frame.header.size() != headerLines) {
        errors_.report(source_.name(), frame.firstLine,
                       texts::frameHeaderLines + std::to_string(frame.header.size()));
        return false;
    }
    HostValue path;
    if (!makeHostString(frame.header[pathLine], path)) {
        errors_.report(source_.name(), frame.firstLine + pathLine, texts::nulInText);
        return false;
    }
    simdjson::dom::element json;
    if (const simdjson::error_code error = parser_.parse(frame.body).get(json)) {
        errors_.report(source_.name(), frame.bodyLine, notJsonReason(error, frame.cutShort));
        return false;
    }
    HostValue payload;
    if (!buildHostValue(json, payload, reason_)) {
        errors_.report(source_.name(), frame.bodyLine, reason_);
        return false;
    }
    message.metadata = nullptr;
    obclient_map_insert_string(&message.metadata, pathKey, path.release());
    message.payload = payload.release();
    return true;
}

} // namespace replay
