// Library-wide string constants (map keys, enumeration texts, type names).
// Defined at namespace scope, each is copied through the host when the library
// is loaded and released when it is unloaded, so the host runtime must be
// loaded first; it never changes in between and is safe to read from any thread.
#pragma once

#include <cstdint>

#include "connectivity/values/data_t.h"

namespace com::velmora::connectivity10_15_4 {

class StaticString {
public:
    explicit StaticString(const char* text);
    StaticString(const StaticString&) = delete;
    StaticString& operator=(const StaticString&) = delete;

    const data_t& value() const noexcept { return value_; }
    operator const data_t&() const noexcept { return value_; }
    const char* text() const noexcept { return value_.record().payload.borrowed; }
    // The key hash, computed once so lookups by constant keys skip re-hashing.
    std::uint64_t hash() const noexcept { return hash_; }

private:
    data_t value_;
    std::uint64_t hash_;
};

} // namespace com::velmora::connectivity10_15_4
