/* The key hash both sides of the boundary must agree on: a map built by the host
 * is probed by the plug-in and the other way round. Its seed is in map_policy.h. */
#ifndef VLM_HASH_H
#define VLM_HASH_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

/* MurmurHash64A; all arithmetic wraps at 64 bits. Words are read little-endian, as the host does. */
static inline uint64_t vlm_murmur_hash64a(const void* data, size_t length, uint64_t seed)
{
    const uint64_t m = UINT64_C(0xC6A4A7935BD1E995);
    const int r = 47;
    const uint8_t* bytes = (const uint8_t*)data;
    uint64_t h = seed ^ (length * m);
    size_t blocks = length / 8;
    for (size_t i = 0; i < blocks; ++i) {
        uint64_t k;
        memcpy(&k, bytes + i * 8, sizeof k);
        k *= m;
        k ^= k >> r;
        k *= m;
        h ^= k;
        h *= m;
    }
    size_t rest = length & 7;
    if (rest != 0) {
        /* The tail's bytes as one little-endian word, read in at most two loads that may
         * overlap (keys are mostly shorter than a block, so this is most of the work). */
        const uint8_t* tail = bytes + blocks * 8;
        uint64_t k;
        if (rest >= 4) {
            uint32_t low, high;
            memcpy(&low, tail, sizeof low);
            memcpy(&high, tail + rest - 4, sizeof high);
            k = (uint64_t)low | ((uint64_t)high << (8 * (rest - 4)));
        } else {
            k = (uint64_t)tail[0] | ((uint64_t)tail[rest / 2] << (8 * (rest / 2))) |
                ((uint64_t)tail[rest - 1] << (8 * (rest - 1)));
        }
        h ^= k;
        h *= m;
    }
    h ^= h >> r;
    h *= m;
    h ^= h >> r;
    return h;
}

#endif
