#include "connectivity/values/data_t.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/value_errors.h"
#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {

const char* kindName(std::uint32_t tag)
{
    static const char* const names[] = {"empty", "boolean", "double", "integer", "decimal", "string",
                                        "list",  "map",     "buffer", "custom",  "string"};
    return tag <= VLM_TAG_BORROWED_STRING ? names[tag] : "invalid";
}

void throwIncorrectType(const char* requestedKind, const std::type_info& requested, std::uint32_t actualTag)
{
    std::fprintf(stderr, "GetVisitor<%s>.operator()(%s)\n", requested.name(), requested.name());
    throw std::runtime_error(errors::incorrectTypeInGet(requestedKind, kindName(actualTag)));
}

void throwGetFromEmpty()
{
    throw std::runtime_error(errors::getFromEmpty);
}

namespace {

std::uint64_t bitsOf(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

data_t::data_t(bool value) noexcept : record_(makeRecord(VLM_TAG_BOOLEAN, value ? 1 : 0)) {}

data_t::data_t(double value) noexcept : record_(makeRecord(VLM_TAG_DOUBLE, bitsOf(value))) {}

data_t::data_t(std::int64_t value) noexcept
    : record_(makeRecord(VLM_TAG_INTEGER, static_cast<std::uint64_t>(value)))
{}

data_t::data_t(const char* text) : record_{}
{
    if (text == nullptr)
        throw std::runtime_error(errors::nullCharPointer);
    record_ = makeRecord(VLM_TAG_STRING, reinterpret_cast<std::uintptr_t>(vlm_copy_string(text)));
}

data_t::data_t(map_t&& map) noexcept
    : record_(makeRecord(VLM_TAG_MAP, reinterpret_cast<std::uintptr_t>(map.release())))
{}

data_t::data_t(list_t&& list) noexcept
    : record_(makeRecord(VLM_TAG_LIST, reinterpret_cast<std::uintptr_t>(list.release())))
{}

data_t::data_t(const data_t& other) : record_(vlm_copy_data(other.record_)) {}

data_t& data_t::operator=(const data_t& other)
{
    if (this != &other)
        *this = data_t(other);
    return *this;
}

void data_t::releaseRecord(vlm_data_t& record) noexcept
{
    switch (record.tag) {
    case VLM_TAG_STRING:
        vlm_free_string(record.payload.string);
        break;
    case VLM_TAG_LIST:
        vlm_free_vector(record.payload.list);
        break;
    case VLM_TAG_MAP:
        vlm_free_map(record.payload.map);
        break;
    case VLM_TAG_BUFFER:
        vlm_free_buffer(record.payload.buffer);
        break;
    case VLM_TAG_CUSTOM:
        vlm_free_custom(record.payload.custom);
        break;
    default:
        return;
    }
    record = vlm_data_t{};
}

std::string data_t::parseAsString() const
{
    char text[64];
    switch (record_.tag) {
    case VLM_TAG_BOOLEAN:
        return record_.payload.boolean != 0 ? "true" : "false";
    case VLM_TAG_DOUBLE:
        std::snprintf(text, sizeof text, "%g", record_.payload.number);
        return text;
    case VLM_TAG_INTEGER:
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(record_.payload.integer));
        return text;
    case VLM_TAG_STRING:
    case VLM_TAG_BORROWED_STRING:
        return stringText(record_.payload);
    case VLM_TAG_DECIMAL:
    case VLM_TAG_LIST:
    case VLM_TAG_MAP:
    case VLM_TAG_BUFFER:
    case VLM_TAG_CUSTOM:
        throw std::runtime_error(errors::parseFromIncorrectType(kindName()));
    default:
        throw std::runtime_error(errors::parseFromEmpty);
    }
}

} // namespace com::velmora::connectivity10_15_4
