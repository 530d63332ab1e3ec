#include <cstring>

#include "host/map_policy.h"
#include "host/vlm_hash.h"
#include "obclient/accounting.h"
#include "obclient/obclient.h"

using obclient::RecordKind;

char* vlm_copy_string(const char* text)
{
    if (text == nullptr)
        return nullptr;
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(obclient::allocateRecord(RecordKind::String, length + 1, false));
    std::memcpy(copy, text, length + 1);
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
    if (length != 0)
        std::memcpy(copy, text, length);
    copy[length] = '\0';
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
