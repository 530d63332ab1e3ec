// The tagged value shared with the host: exactly one vlm_data_t record, whose
// owned storage is allocated, copied and released only by the host runtime.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/map_policy.h"
#include "host/vlm_abi.h"

namespace com::velmora::connectivity10_15_4 {

class map_t;
class list_t;
class buffer_t;
class custom_t;

// The "GetVisitor<...>" standard-error line and exception of a typed read that
// met another kind; kept out of line so the fast path stays small.
[[noreturn]] void throwIncorrectType(const char* requestedKind, const std::type_info& requested,
                                     std::uint32_t actualTag);
[[noreturn]] void throwGetFromEmpty();

const char* kindName(std::uint32_t tag);

// A host may hand over a string value whose text pointer is null: it reads as
// the empty text, so no caller ever dereferences the null.
inline const char* stringText(const vlm_payload_t& payload) noexcept
{
    return payload.borrowed != nullptr ? payload.borrowed : "";
}

// Records move as one 16-byte block. Copied member by member, GCC may rebuild a
// record on the stack from narrower stores and reload it whole, which the CPU
// cannot serve from those stores: a stall on every such move.
inline void copyRecord(vlm_data_t& to, const vlm_data_t& from) noexcept
{
    std::memcpy(&to, &from, sizeof to);
}

// A new record written as one 16-byte store, for the same reason: a record made
// from a separate payload and tag store is reloaded whole when it is moved on.
inline vlm_data_t makeRecord(std::uint32_t tag, std::uint64_t payloadBits) noexcept
{
    vlm_data_t record;
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&record),
                     _mm_set_epi64x(static_cast<long long>(tag), static_cast<long long>(payloadBits)));
#else
    record = vlm_data_t{};
    record.payload.bits = payloadBits;
    record.tag = tag;
#endif
    return record;
}

class data_t {
public:
    data_t() noexcept : record_{} {}
    data_t(bool value) noexcept;
    data_t(double value) noexcept;
    data_t(std::int64_t value) noexcept;
    data_t(int value) noexcept : data_t(static_cast<std::int64_t>(value)) {}
    data_t(const char* text);
    data_t(map_t&& map) noexcept;
    data_t(list_t&& list) noexcept;

    data_t(const data_t& other);
    data_t(data_t&& other) noexcept
    {
        copyRecord(record_, other.record_);
        other.record_ = vlm_data_t{};
    }
    data_t& operator=(const data_t& other);
    data_t& operator=(data_t&& other) noexcept
    {
        // Take the source first, release the old value last: a value moved onto itself survives.
        data_t taken(std::move(other));
        vlm_data_t old;
        copyRecord(old, record_);
        copyRecord(record_, taken.record_);
        copyRecord(taken.record_, old);
        return *this;
    }
    // Values are moved far more often than they own anything, so the release call is skipped inline.
    ~data_t()
    {
        if (ownsStorage())
            releaseRecord(record_);
    }

    // Takes ownership of a record the host handed over.
    static data_t adopt(vlm_data_t record) noexcept
    {
        data_t value;
        copyRecord(value.record_, record);
        return value;
    }
    // Gives up ownership; this value becomes empty.
    vlm_data_t release() noexcept
    {
        vlm_data_t record;
        copyRecord(record, record_);
        record_ = vlm_data_t{};
        return record;
    }

    std::uint32_t tag() const noexcept { return record_.tag; }
    const char* kindName() const noexcept { return connectivity10_15_4::kindName(record_.tag); }
    bool empty() const noexcept { return record_.tag == VLM_TAG_EMPTY; }
    bool isString() const noexcept
    {
        return record_.tag == VLM_TAG_STRING || record_.tag == VLM_TAG_BORROWED_STRING;
    }
    bool isMap() const noexcept { return record_.tag == VLM_TAG_MAP; }
    bool isList() const noexcept { return record_.tag == VLM_TAG_LIST; }

    template <class T> decltype(auto) get();
    template <class T> decltype(auto) get() const;

    std::string parseAsString() const;

    bool operator==(const data_t& other) const;
    bool operator!=(const data_t& other) const { return !(*this == other); }

    const vlm_data_t& record() const noexcept { return record_; }
    vlm_data_t& record() noexcept { return record_; }

    // Releases what a record owns, by its tag; never throws.
    static void releaseRecord(vlm_data_t& record) noexcept;

private:
    bool ownsStorage() const noexcept
    {
        return record_.tag >= VLM_TAG_STRING && record_.tag <= VLM_TAG_CUSTOM;
    }
    template <class T> void requireTag(std::uint32_t accepted, const char* requestedKind) const
    {
        if (record_.tag == accepted)
            return;
        failGet<T>(requestedKind);
    }
    template <class T> [[noreturn]] void failGet(const char* requestedKind) const
    {
        if (record_.tag == VLM_TAG_EMPTY || record_.tag > VLM_TAG_BORROWED_STRING)
            throwGetFromEmpty();
        throwIncorrectType(requestedKind, typeid(T), record_.tag);
    }

    vlm_data_t record_;
};

static_assert(sizeof(data_t) == sizeof(vlm_data_t), "data_t is exactly the host record");

// Running-seed hash; every map key hash starts from MAP_HASH_SEED.
inline constexpr std::uint64_t MAP_HASH_SEED = vlm::map_policy::hashSeed;
std::uint64_t hashValue(const data_t& value, std::uint64_t& seed);
// The hash a map stores for a key.
std::uint64_t keyHash(const data_t& key);

template <class T> decltype(auto) data_t::get()
{
    if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, bool>) {
        return static_cast<const data_t&>(*this).get<T>();
    } else {
        return const_cast<T&>(static_cast<const data_t&>(*this).get<T>());
    }
}

template <class T> decltype(auto) data_t::get() const
{
    if constexpr (std::is_same_v<T, const char*>) {
        if (!isString())
            failGet<const char*>("string");
        return stringText(record_.payload);
    } else if constexpr (std::is_same_v<T, map_t>) {
        requireTag<T>(VLM_TAG_MAP, "map");
        return reinterpret_cast<const map_t&>(record_.payload.map);
    } else if constexpr (std::is_same_v<T, list_t>) {
        requireTag<T>(VLM_TAG_LIST, "list");
        return reinterpret_cast<const list_t&>(record_.payload.list);
    } else if constexpr (std::is_same_v<T, buffer_t>) {
        requireTag<T>(VLM_TAG_BUFFER, "buffer");
        return reinterpret_cast<const buffer_t&>(record_.payload.buffer);
    } else if constexpr (std::is_same_v<T, custom_t>) {
        requireTag<T>(VLM_TAG_CUSTOM, "custom");
        return reinterpret_cast<const custom_t&>(record_.payload.custom);
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        requireTag<T>(VLM_TAG_INTEGER, "integer");
        return static_cast<const std::int64_t&>(record_.payload.integer);
    } else if constexpr (std::is_same_v<T, double>) {
        requireTag<T>(VLM_TAG_DOUBLE, "double");
        return static_cast<const double&>(record_.payload.number);
    } else {
        static_assert(std::is_same_v<T, bool>, "no typed read for this type");
        requireTag<T>(VLM_TAG_BOOLEAN, "boolean");
        return record_.payload.boolean != 0;
    }
}

} // namespace com::velmora::connectivity10_15_4
