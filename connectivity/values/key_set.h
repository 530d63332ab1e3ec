// A fixed set of constant keys, numbered by their place, and a table that names
// from a key hash the one member that can have it. A walk over a map's slots then
// finds every member with one table read per slot, where probing for each member
// would cost a probe apiece.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "connectivity/values/static_string.h"

namespace com::velmora::connectivity10_15_4 {

class KeySet {
public:
    // The largest set, a managed object's fields, has 14 members; a member's
    // number and the "none" mark fit a byte of the table with any bound below 255.
    static constexpr std::size_t maxKeys = 16;

    // Throws std::logic_error for more than maxKeys keys, or when no window of
    // the hashes tells them apart (it has to be chosen again for such a set).
    KeySet(std::initializer_list<const StaticString*> keys);

    std::size_t size() const noexcept { return size_; }
    const StaticString& operator[](std::size_t member) const noexcept { return *keys_[member]; }
    // The only member whose key can have this hash, or size() when none can;
    // the caller still compares the hash and the key.
    std::size_t memberFor(std::uint64_t hash) const noexcept
    {
        return members_[(hash >> shift_) & windowMask];
    }

private:
    // For 16 well-mixed hashes a window of b bits tells all apart with chance
    // (1 - 1/2^b)(1 - 2/2^b)...(1 - 15/2^b): 0.38 for 7 bits, so one of the 58
    // windows all but surely does (1 - 0.62^58, were they independent); 6 bits would give 0.13 a window,
    // and 8 a table of four cache lines where 7 takes two.
    static constexpr unsigned windowBits = 7;
    static constexpr std::uint64_t windowMask = (std::uint64_t{1} << windowBits) - 1;

    std::array<const StaticString*, maxKeys> keys_{};
    std::size_t size_ = 0;
    unsigned shift_ = 0;
    std::array<std::uint8_t, windowMask + 1> members_{};
};

} // namespace com::velmora::connectivity10_15_4
