#include <cstring>

#include "host/map_policy.h"
#include "host/vlm_hash.h"
#include "obclient/accounting.h"
#include "obclient/obclient.h"

using obclient::RecordKind;

namespace {

template <class Word> void copyWord(char* to, const char* from)
{
    Word word;
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
}

// Most texts are a few bytes, and a call to memcpy costs more than copying them:
// up to 16 bytes take two loads and two stores that may overlap, none past the text.
void copyTextWithNul(char* copy, const char* text, size_t length)
{
    if (length > 16) {
        std::memcpy(copy, text, length);
    } else if (length >= 8) {
        copyWord<uint64_t>(copy, text);
        copyWord<uint64_t>(copy + length - 8, text + length - 8);
    } else if (length >= 4) {
        copyWord<uint32_t>(copy, text);
        copyWord<uint32_t>(copy + length - 4, text + length - 4);
    } else if (length != 0) {
        copy[0] = text[0];
        copy[length / 2] = text[length / 2];
        copy[length - 1] = text[length - 1];
    }
    copy[length] = '\0';
}

} // namespace

char* vlm_copy_string(const char* text)
{
    if (text == nullptr)
        return nullptr;
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(obclient::allocateRecord(RecordKind::String, length + 1, false));
    copyTextWithNul(copy, text, length);
    return copy;
}

void vlm_free_string(char* text)
{
    if (text == nullptr)
        return;
    obclient::retireRecord(RecordKind::String, text, "vlm_free_string");
    obclient::freeRecordMemory(text);
}

uint64_t vlm_hash_string(const char* text)
{
    if (text == nullptr)
        return vlm_murmur_hash64a(nullptr, 0, vlm::map_policy::hashSeed);
    return vlm_murmur_hash64a(text, std::strlen(text), vlm::map_policy::hashSeed);
}

vlm_data_t obclient_string(const char* text)
{
    if (text == nullptr)
        return vlm_data_t{};
    return obclient_string_n(text, std::strlen(text));
}

vlm_data_t obclient_string_n(const char* text, size_t length)
{
    if (text == nullptr)
        return vlm_data_t{};
    auto* copy = static_cast<char*>(obclient::allocateRecord(RecordKind::String, length + 1, false));
    copyTextWithNul(copy, text, length);
    vlm_data_t value{};
    value.payload.string = copy;
    value.tag = VLM_TAG_STRING;
    return value;
}

vlm_data_t obclient_borrowed_string(const char* text)
{
    vlm_data_t value{};
    if (text == nullptr)
        return value;
    value.payload.borrowed = text;
    value.tag = VLM_TAG_BORROWED_STRING;
    return value;
}
