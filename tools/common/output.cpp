#include "tools/common/output.h"

#include <cerrno>
#include <cstring>

#include "obclient/json_output.h"
#include "obclient/obclient.h"
#include "tools/common/texts.h"

namespace tools {

namespace {

constexpr const char* eventTypeKey = "vlm.type";

} // namespace

OutputFile::~OutputFile()
{
    if (owned_)
        std::fclose(file_);
}

bool OutputFile::open(const std::string& path, Mode mode, std::string& reason)
{
    file_ = path.empty() ? stdout : std::fopen(path.c_str(), mode == Mode::Append ? "ab" : "wb");
    if (file_ == nullptr) {
        reason = texts::cannotOpenOutput + path + ": " + std::strerror(errno);
        return false;
    }
    owned_ = !path.empty();
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

int32_t EventWriter::receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    static_cast<EventWriter*>(handle)->write(start, end);
    return 0;
}

void EventWriter::write(const vlm_message_t* start, const vlm_message_t* end)
{
    if (writeError_ != 0)
        return;
    lines_.clear();
    lines_.add(start, end);
    if (!emit(lines_.text()))
        return;
    for (const vlm_message_t* message = start; message != end; ++message)
        countArrived(tally_, *message);
}

bool EventWriter::emit(std::string_view text)
{
    if (writeError_ != 0)
        return false;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) {
        writeError_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

void EventLines::add(const vlm_message_t* start, const vlm_message_t* end)
{
    obclient::json::OutputCursor out(buffer_, obclient::json::OutputCursor::Overwrite());
    out.rewind(size_);
    for (const vlm_message_t* message = start; message != end; ++message) {
        out.putLiteral("{\"metadata\":");
        obclient_append_json(out, obclient_map_value(message->metadata));
        out.putLiteral(",\"payload\":");
        obclient_append_json(out, message->payload);
        out.putLiteral("}\n");
    }
    size_ = out.written();
}

void countArrived(Tally& tally, const vlm_message_t& message)
{
    ++tally.arrived;
    const vlm_data_t* type = obclient_map_find_string(message.metadata, eventTypeKey);
    const bool isText = type != nullptr &&
                        (type->tag == VLM_TAG_STRING || type->tag == VLM_TAG_BORROWED_STRING) &&
                        type->payload.borrowed != nullptr;
    if (isText)
        tally.countEvent(type->payload.borrowed);
    else
        ++tally.passedThrough;
}

} // namespace tools
