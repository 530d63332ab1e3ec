// Where host records get their memory. Blocks of a few size classes are carved
// from one reserved address range, each class from its own stretch of it, so a
// block's class follows from its address alone: releasing a record never reads
// it (a string need not be measured), and the free blocks wait in per-thread
// arrays of pointers, so taking one reads no cold memory either. What those
// arrays cannot hold waits in a shared depot (record_depot.h), which hands the
// memory of blocks left idle there back to the system. Larger records, and all
// records while reuse is off, go straight to malloc.
#ifndef OBCLIENT_RECORD_POOL_H
#define OBCLIENT_RECORD_POOL_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// A free block, and a taken block's slack past the asked size, stay out of bounds for the sanitizer.
#define OBCLIENT_POISON(block, bytes) ASAN_POISON_MEMORY_REGION(block, bytes)
#define OBCLIENT_UNPOISON(block, bytes) ASAN_UNPOISON_MEMORY_REGION(block, bytes)
#else
#define OBCLIENT_POISON(block, bytes) static_cast<void>(0)
#define OBCLIENT_UNPOISON(block, bytes) static_cast<void>(0)
#endif

namespace obclient {

// `reuse` off (checked mode) takes fresh memory from malloc, leaving
// use-after-free to the sanitizers and valgrind. Null when memory runs out.
void* takeBlock(size_t bytes, bool zeroed, bool reuse);
// Any block takeBlock gave, whichever mode it was taken in. Out of line: the
// common case is returnFreeBlock, inlined into the callers.
[[gnu::noinline]] void returnBlock(void* block);
// Keeps the first min(oldBytes, newBytes) bytes; null when memory runs out, the block untouched.
void* resizeBlock(void* block, size_t oldBytes, size_t newBytes, bool reuse);

extern const char* const recordPoolDescription;

namespace pool {

// 16-byte steps up to 256 bytes (strings, lists, small buffers), then powers of
// two up to 4 KiB (map tables of up to about a hundred slots).
constexpr size_t stepBytes = 16;
constexpr size_t steppedLimit = 256;
constexpr size_t steppedClasses = steppedLimit / stepBytes;
constexpr size_t largestClassBytes = 4096;
constexpr size_t classCount = steppedClasses + 4; // 512, 1024, 2048, 4096

// Only address space until runs of it are made usable; a class whose stretch is
// used up takes from malloc, so the size bounds the pool's reach, not a program.
// 1 GiB a class holds 64 million of the smallest records, and the 20 classes
// reserve 20 GiB, about a 6,500th of the 128 TiB a process may address. A power of two, so a block's class is
// a shift.
constexpr unsigned stretchShift = 30;
constexpr size_t stretchBytes = size_t{1} << stretchShift;
constexpr size_t regionBytes = classCount << stretchShift;
// Made usable a run at a time, so one mprotect serves many blocks.
constexpr size_t runBytes = size_t{64} << 10;

// For 1 to largestClassBytes bytes.
inline size_t classOf(size_t bytes)
{
    if (bytes <= steppedLimit)
        return (bytes - 1) / stepBytes;
    // 257..512 bytes have 8 as the highest bit of bytes - 1, and each power of two up is one class more.
    return steppedClasses + static_cast<size_t>(63 - __builtin_clzll(bytes - 1)) - 8;
}

inline size_t classBytes(size_t index)
{
    return index < steppedClasses ? (index + 1) * stepBytes : steppedLimit << (index - steppedClasses + 1);
}

// Pointers rather than a count, so that taking and returning each compare one
// pair of them: with no stack yet all three are null, and both go the slow way.
struct ClassCache {
    void** stack; // free blocks up to top, the most recently freed last
    void** top;
    void** limit;  // stack + the class's capacity
    char* runNext; // the rest of this thread's run, never handed out yet
    char* runEnd;
};

// Trivially constructible and destructible, so it needs no initialisation call
// where it is used and stays usable after the thread's destructors have run
// (records released then go to the depot). Initial-exec: the host library is
// loaded with the program, never later, and this saves a TLS lookup call.
struct ThreadCache {
    ClassCache classes[classCount];
    bool reaperArmed;
    bool closed;
};
extern __attribute__((tls_model("initial-exec"), visibility("hidden"))) __thread ThreadCache threadCache;

// Set once, when the region is reserved, and never moved. Until then it lies
// regionBytes below the top of the address space, where no user-space block
// is, so every block's offset from it comes out too large and no separate test
// for "not reserved" is needed.
extern __attribute__((visibility("hidden"))) std::atomic<uintptr_t> regionBase;
constexpr uintptr_t unreservedBase = uintptr_t{0} - regionBytes;

// The class whose stretch holds block, or classCount for a block from malloc.
// A block handed over from another thread arrives with the region's base visible.
inline size_t classOfBlock(const void* block)
{
    const uintptr_t offset = reinterpret_cast<uintptr_t>(block) - regionBase.load(std::memory_order_relaxed);
    return offset < regionBytes ? offset >> stretchShift : classCount;
}

} // namespace pool

// takeBlock's common case with reuse on, small enough to inline into every
// record's maker: the thread's last freed block of the class. Null sends the
// caller to takeBlock. A closed thread's stacks are empty, so it never gets here.
inline void* takeFreeBlock(size_t bytes)
{
    // Zero bytes wrap around and fail the test too.
    if (bytes - 1 >= pool::largestClassBytes)
        return nullptr;
    pool::ClassCache& own = pool::threadCache.classes[pool::classOf(bytes)];
    if (own.top == own.stack)
        return nullptr;
    void* const block = *--own.top;
    OBCLIENT_UNPOISON(block, bytes);
    return block;
}

// returnBlock's common case: onto the thread's own stack of the block's class.
// False sends the caller to returnBlock. A closed thread has no stacks.
inline bool returnFreeBlock(void* block)
{
    const size_t index = pool::classOfBlock(block);
    if (index == pool::classCount)
        return false;
    pool::ClassCache& own = pool::threadCache.classes[index];
    if (own.top == own.limit)
        return false;
    OBCLIENT_POISON(block, pool::classBytes(index));
    *own.top++ = block;
    return true;
}

} // namespace obclient

#endif
