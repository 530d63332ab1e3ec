#include "connectivity/values/key_set.h"

#include <cstdio>
#include <stdexcept>

namespace com::velmora::connectivity10_15_4 {

KeySet::KeySet(std::initializer_list<const StaticString*> keys)
{
    if (keys.size() > maxKeys) {
        // Not std::to_string: its digit table would pin a library holding this in memory after dlclose.
        char text[48];
        std::snprintf(text, sizeof text, "a key set holds at most %zu keys", maxKeys);
        throw std::logic_error(text);
    }
    for (const StaticString* key : keys)
        keys_[size_++] = key;
    // The first window of the hash bits in which no two members share a value.
    for (shift_ = 0; shift_ + windowBits <= 64; ++shift_) {
        members_.fill(static_cast<std::uint8_t>(size_));
        bool distinct = true;
        for (std::size_t member = 0; member < size_ && distinct; ++member) {
            std::uint8_t& entry = members_[(keys_[member]->hash() >> shift_) & windowMask];
            distinct = entry == size_;
            entry = static_cast<std::uint8_t>(member);
        }
        if (distinct)
            return;
    }
    throw std::logic_error("no window of the key hashes tells the keys of this set apart");
}

} // namespace com::velmora::connectivity10_15_4
