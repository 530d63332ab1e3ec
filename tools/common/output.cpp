#include "tools/common/output.h"

#include <cerrno>
#include <cstring>

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
    text_.clear();
    for (const vlm_message_t* message = start; message != end; ++message) {
        text_.append("{\"metadata\":");
        obclient_append_json(text_, obclient_map_value(message->metadata));
        text_.append(",\"payload\":");
        obclient_append_json(text_, message->payload);
        text_.append("}\n");
    }
    errno = 0;
    if (std::fwrite(text_.data(), 1, text_.size(), out_) != text_.size()) {
        writeError_ = errno != 0 ? errno : EIO;
        return;
    }
    for (const vlm_message_t* message = start; message != end; ++message)
        count(*message);
}

void EventWriter::count(const vlm_message_t& message)
{
    ++tally_.arrived;
    const vlm_data_t* type = obclient_map_find_string(message.metadata, eventTypeKey);
    const bool isText = type != nullptr &&
                        (type->tag == VLM_TAG_STRING || type->tag == VLM_TAG_BORROWED_STRING) &&
                        type->payload.borrowed != nullptr;
    if (isText)
        tally_.countEvent(type->payload.borrowed);
    else
        ++tally_.passedThrough;
}

} // namespace tools
