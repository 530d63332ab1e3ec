#include "obclient/record_pool.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

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
namespace {

// 16-byte steps up to 256 bytes (strings, lists, small buffers), then powers of
// two up to 4 KiB (map tables of up to about a hundred slots).
constexpr size_t stepBytes = 16;
constexpr size_t steppedLimit = 256;
constexpr size_t steppedClasses = steppedLimit / stepBytes;
constexpr size_t largestClassBytes = 4096;
constexpr size_t classCount = steppedClasses + 4; // 512, 1024, 2048, 4096

// Only address space until runs of it are made usable; a class whose stretch is
// used up takes from malloc, so the size bounds the pool's reach, not a program.
constexpr size_t stretchBytes = size_t{1} << 30;
constexpr size_t regionBytes = classCount * stretchBytes;
// Made usable a run at a time, so one mprotect serves many blocks.
constexpr size_t runBytes = size_t{64} << 10;
// Free blocks a thread keeps per class. Past it, the oldest half go to the shared
// depot, from which a thread that makes more than it frees (one that builds
// what another releases) refills before it carves new runs.
constexpr uint32_t stackCapacity = 1024;
constexpr uint32_t transferCount = stackCapacity / 2;

size_t classOf(size_t bytes)
{
    if (bytes <= steppedLimit)
        return bytes == 0 ? 0 : (bytes - 1) / stepBytes;
    size_t index = steppedClasses;
    for (size_t size = 2 * steppedLimit; size < bytes; size *= 2)
        ++index;
    return index;
}

size_t classBytes(size_t index)
{
    return index < steppedClasses ? (index + 1) * stepBytes : steppedLimit << (index - steppedClasses + 1);
}

// Zero until the region is reserved; set once, never moved.
std::atomic<uintptr_t> regionBase{0};
std::atomic<size_t> stretchUsed[classCount];

char* reserveRegion()
{
    static char* const base = [] {
        void* range =
            mmap(nullptr, regionBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (range == MAP_FAILED)
            return static_cast<char*>(nullptr);
        regionBase.store(reinterpret_cast<uintptr_t>(range), std::memory_order_relaxed);
        return static_cast<char*>(range);
    }();
    return base;
}

// The class whose stretch holds block, or classCount for a block from malloc.
// A block handed over from another thread arrives with the region's base visible.
size_t classOfBlock(const void* block)
{
    const uintptr_t base = regionBase.load(std::memory_order_relaxed);
    const uintptr_t offset = reinterpret_cast<uintptr_t>(block) - base;
    return base != 0 && offset < regionBytes ? offset / stretchBytes : classCount;
}

struct ClassCache {
    void** stack; // free blocks, the most recently freed on top
    uint32_t count;
    char* runNext; // the rest of this thread's run, never handed out yet
    char* runEnd;
};

// Trivially destructible, so it stays usable after the thread's destructors
// have run (records released then go to the depot).
struct ThreadCache {
    ClassCache classes[classCount];
    bool reaperArmed;
    bool closed;
};

// Initial-exec: the host library is loaded with the program, never later, and
// this saves a TLS lookup call on every record.
__attribute__((tls_model("initial-exec"))) thread_local ThreadCache cache{};

struct Depot {
    std::mutex lock;
    std::vector<void*> blocks[classCount];
};

// Never destroyed: records may still be released while statics are torn down.
Depot& depot()
{
    static Depot* const shared = new Depot;
    return *shared;
}

// Under memory pressure blocks that find no place stay unused rather than end the program.
void deposit(size_t index, void* const* blocks, size_t count) noexcept
{
    if (count == 0)
        return;
    Depot& shared = depot();
    std::lock_guard<std::mutex> hold(shared.lock);
    try {
        shared.blocks[index].insert(shared.blocks[index].end(), blocks, blocks + count);
    } catch (const std::bad_alloc&) {
    }
}

// Its destruction at thread exit hands the thread's free blocks, and what is
// left of its runs, to the depot.
struct CacheReaper {
    ~CacheReaper()
    {
        cache.closed = true;
        for (size_t index = 0; index < classCount; ++index) {
            ClassCache& own = cache.classes[index];
            const size_t bytes = classBytes(index);
            deposit(index, own.stack, own.count);
            for (char* block = own.runNext; static_cast<size_t>(own.runEnd - block) >= bytes;
                 block += bytes) {
                void* const carved = block;
                deposit(index, &carved, 1);
            }
            std::free(own.stack);
            own = ClassCache{};
        }
    }
};
thread_local CacheReaper reaper;

void armReaper()
{
    if (cache.reaperArmed)
        return;
    cache.reaperArmed = true;
    // The first use of a thread_local with a destructor registers it for thread exit.
    static_cast<void>(&reaper);
}

bool haveStack(ClassCache& own)
{
    if (own.stack == nullptr) {
        own.stack = static_cast<void**>(std::malloc(stackCapacity * sizeof(void*)));
        armReaper();
    }
    return own.stack != nullptr;
}

bool refillFromDepot(size_t index, ClassCache& own)
{
    if (!haveStack(own))
        return false;
    Depot& shared = depot();
    std::lock_guard<std::mutex> hold(shared.lock);
    std::vector<void*>& blocks = shared.blocks[index];
    if (blocks.empty())
        return false;
    const size_t count = std::min<size_t>(blocks.size(), transferCount);
    std::memcpy(own.stack, blocks.data() + blocks.size() - count, count * sizeof(void*));
    blocks.resize(blocks.size() - count);
    own.count = static_cast<uint32_t>(count);
    return true;
}

bool startRun(size_t index, ClassCache& own)
{
    char* const base = reserveRegion();
    if (base == nullptr)
        return false;
    const size_t offset = stretchUsed[index].fetch_add(runBytes, std::memory_order_relaxed);
    if (offset >= stretchBytes)
        return false;
    char* const run = base + index * stretchBytes + offset;
    if (mprotect(run, runBytes, PROT_READ | PROT_WRITE) != 0)
        return false;
    OBCLIENT_POISON(run, runBytes);
    armReaper();
    own.runNext = run;
    own.runEnd = run + runBytes;
    return true;
}

// A block of the class when the thread has none free: from its run, from the
// depot, from a new run; null when the region cannot serve.
[[gnu::noinline]] void* takeWithoutFreeBlock(size_t index, ClassCache& own)
{
    const size_t bytes = classBytes(index);
    if (static_cast<size_t>(own.runEnd - own.runNext) < bytes && !refillFromDepot(index, own) &&
        !startRun(index, own))
        return nullptr;
    if (own.count != 0)
        return own.stack[--own.count];
    void* const block = own.runNext;
    own.runNext += bytes;
    return block;
}

[[gnu::noinline]] void returnToFullStack(size_t index, ClassCache& own, void* block)
{
    if (cache.closed || !haveStack(own)) {
        deposit(index, &block, 1);
        return;
    }
    if (own.count == stackCapacity) {
        // The oldest go: the newest are the likeliest still in cache.
        deposit(index, own.stack, transferCount);
        own.count -= transferCount;
        std::memmove(own.stack, own.stack + transferCount, own.count * sizeof(void*));
    }
    own.stack[own.count++] = block;
}

void* fromMalloc(size_t bytes, bool zeroed)
{
    const size_t size = std::max<size_t>(bytes, 1);
    return zeroed ? std::calloc(1, size) : std::malloc(size);
}

} // namespace

const char* const recordPoolDescription =
    "per-thread stacks of free blocks in size classes (16 to 256 bytes in 16-byte steps, then 512 to 4096), "
    "each class carved from its own stretch of one reserved range; malloc above";

void* takeBlock(size_t bytes, bool zeroed, bool reuse)
{
    if (!reuse || bytes > largestClassBytes || cache.closed)
        return fromMalloc(bytes, zeroed);
    const size_t index = classOf(bytes);
    ClassCache& own = cache.classes[index];
    void* const block = own.count != 0 ? own.stack[--own.count] : takeWithoutFreeBlock(index, own);
    if (block == nullptr)
        return fromMalloc(bytes, zeroed);
    OBCLIENT_UNPOISON(block, bytes);
    if (zeroed)
        std::memset(block, 0, bytes);
    return block;
}

void returnBlock(void* block)
{
    const size_t index = classOfBlock(block);
    if (index == classCount) {
        std::free(block);
        return;
    }
    OBCLIENT_POISON(block, classBytes(index));
    ClassCache& own = cache.classes[index];
    if (own.stack == nullptr || own.count == stackCapacity || cache.closed)
        returnToFullStack(index, own, block);
    else
        own.stack[own.count++] = block;
}

void* resizeBlock(void* block, size_t oldBytes, size_t newBytes, bool reuse)
{
    if (classOfBlock(block) == classCount && (!reuse || newBytes > largestClassBytes))
        return std::realloc(block, std::max<size_t>(newBytes, 1));
    void* const resized = takeBlock(newBytes, false, reuse);
    if (resized == nullptr)
        return nullptr;
    std::memcpy(resized, block, std::min(oldBytes, newBytes));
    returnBlock(block);
    return resized;
}

} // namespace obclient
