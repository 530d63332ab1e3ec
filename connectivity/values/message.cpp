#include "connectivity/values/message.h"

#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {
namespace {

// Log lines stay short: a payload text longer than this is cut.
constexpr std::size_t maximumPayloadText = 200;
constexpr const char* cutMarker = " ...";

} // namespace

void escapeLineBreaks(std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\n')
            escaped += "\\n";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    text.swap(escaped);
}

namespace {

std::string renderRecord(const vlm_data_t& record)
{
    // The returned text is released by `text` whether or not the typed read succeeds.
    const data_t text = data_t::adopt(vlm_data_to_string(record));
    return text.get<const char*>();
}

} // namespace

std::string renderValue(const data_t& value)
{
    return renderRecord(value.record());
}

std::string toString(const Message& message, bool truncate)
{
    std::string payload = renderValue(message.getPayload());
    if (truncate && payload.size() > maximumPayloadText) {
        payload.resize(maximumPayloadText - std::char_traits<char>::length(cutMarker));
        payload += cutMarker;
    }
    escapeLineBreaks(payload);

    // A map record that refers to the metadata table without owning it.
    vlm_data_t metadataView{};
    metadataView.tag = VLM_TAG_MAP;
    metadataView.payload.map = message.getMetadata().table();
    const std::string metadata = renderRecord(metadataView);
    return "Message<metadata=" + metadata + ", payload=" + payload + ">";
}

} // namespace com::velmora::connectivity10_15_4
