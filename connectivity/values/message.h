// The unit that travels along a chain: a payload and a metadata map, laid out
// exactly as the host's vlm_message_t so batches are shared without conversion.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "connectivity/values/data_t.h"
#include "connectivity/values/map_t.h"
#include "host/vlm_abi.h"

namespace com::velmora::connectivity10_15_4 {

class Message {
public:
    Message() = default;
    Message(data_t payload, map_t metadata) noexcept
        : payload_(std::move(payload)), metadata_(std::move(metadata))
    {}
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    Message(Message&&) noexcept = default;
    Message& operator=(Message&&) noexcept = default;

    data_t& getPayload() noexcept { return payload_; }
    const data_t& getPayload() const noexcept { return payload_; }
    map_t& getMetadata() noexcept { return metadata_; }
    const map_t& getMetadata() const noexcept { return metadata_; }

    // Exchanges whole records; no value is copied.
    void swap(Message& other) noexcept
    {
        std::swap(reinterpret_cast<vlm_message_t&>(*this), reinterpret_cast<vlm_message_t&>(other));
    }

    static Message* fromRecords(vlm_message_t* records) noexcept
    {
        return reinterpret_cast<Message*>(records);
    }

private:
    data_t payload_;
    map_t metadata_;
};
static_assert(sizeof(Message) == sizeof(vlm_message_t), "a Message is exactly the host record");

// The host's text of a value.
std::string renderValue(const data_t& value);
// Replaces each line feed by "\\n" and each carriage return by "\\r", so a log line stays one line.
void escapeLineBreaks(std::string& text);
// One log line: "Message<metadata=..., payload=...>", the payload shortened to
// 200 bytes when truncate is set and its line breaks escaped.
std::string toString(const Message& message, bool truncate);

} // namespace com::velmora::connectivity10_15_4
