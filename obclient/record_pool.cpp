#include "obclient/record_pool.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "obclient/record_depot.h"

namespace obclient {
namespace {

using namespace pool;

// Free blocks a thread keeps per class before the oldest half go to the shared
// depot. A thread that releases what it made must get its own blocks back: from
// the depot they may go to another thread, and a line holding blocks of two
// threads then moves between their cores on every write (two replay workers
// each ran at half speed when a batch overflowed 1,024). So a class keeps what a
// batch of a few hundred notifications releases, within a bound in bytes.
constexpr size_t stackBudgetBytes = size_t{512} << 10;
constexpr size_t minStackCapacity = 1024;
constexpr size_t maxStackCapacity = 16384;

size_t stackCapacity(size_t index)
{
    return std::clamp(stackBudgetBytes / classBytes(index), minStackCapacity, maxStackCapacity);
}

// Past a full stack the oldest half go to the depot, from which a thread that
// makes more than it frees (one that builds what another releases) refills as
// many before it carves new runs.
size_t transferCount(size_t index)
{
    return stackCapacity(index) / 2;
}

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

// Its destruction at thread exit hands the thread's free blocks, and what is
// left of its runs, to the depot.
struct CacheReaper {
    ~CacheReaper()
    {
        threadCache.closed = true;
        for (size_t index = 0; index < classCount; ++index) {
            ClassCache& own = threadCache.classes[index];
            const size_t bytes = classBytes(index);
            depot::deposit(index, own.stack, static_cast<size_t>(own.top - own.stack));
            for (char* block = own.runNext; static_cast<size_t>(own.runEnd - block) >= bytes;
                 block += bytes) {
                void* const carved = block;
                depot::deposit(index, &carved, 1);
            }
            std::free(own.stack);
            own = ClassCache{};
        }
    }
};
thread_local CacheReaper reaper;

void armReaper()
{
    if (threadCache.reaperArmed)
        return;
    threadCache.reaperArmed = true;
    // The first use of a thread_local with a destructor registers it for thread exit.
    static_cast<void>(&reaper);
}

bool haveStack(size_t index, ClassCache& own)
{
    if (own.stack == nullptr) {
        const size_t capacity = stackCapacity(index);
        own.stack = static_cast<void**>(std::malloc(capacity * sizeof(void*)));
        own.top = own.stack;
        own.limit = own.stack == nullptr ? nullptr : own.stack + capacity;
        armReaper();
    }
    return own.stack != nullptr;
}

bool refillFromDepot(size_t index, ClassCache& own)
{
    if (!haveStack(index, own))
        return false;
    const size_t count = depot::withdraw(index, own.stack, transferCount(index));
    own.top = own.stack + count;
    return count != 0;
}

bool startRun(size_t index, ClassCache& own)
{
    char* run = depot::takeReleasedRun(index);
    if (run == nullptr) {
        char* const base = reserveRegion();
        if (base == nullptr)
            return false;
        const size_t offset = stretchUsed[index].fetch_add(runBytes, std::memory_order_relaxed);
        if (offset >= stretchBytes)
            return false;
        run = base + index * stretchBytes + offset;
        if (mprotect(run, runBytes, PROT_READ | PROT_WRITE) != 0)
            return false;
    }
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
    if (own.top != own.stack)
        return *--own.top;
    void* const block = own.runNext;
    own.runNext += bytes;
    return block;
}

[[gnu::noinline]] void returnToFullStack(size_t index, ClassCache& own, void* block)
{
    if (threadCache.closed || !haveStack(index, own)) {
        depot::deposit(index, &block, 1);
        return;
    }
    if (own.top == own.limit) {
        // The oldest go: the newest are the likeliest still in cache.
        const size_t transfer = transferCount(index);
        const size_t kept = static_cast<size_t>(own.limit - own.stack) - transfer;
        depot::deposit(index, own.stack, transfer);
        std::memmove(own.stack, own.stack + transfer, kept * sizeof(void*));
        own.top = own.stack + kept;
    }
    *own.top++ = block;
}

void* fromMalloc(size_t bytes, bool zeroed)
{
    const size_t size = std::max<size_t>(bytes, 1);
    return zeroed ? std::calloc(1, size) : std::malloc(size);
}

} // namespace

namespace pool {
__thread ThreadCache threadCache;
std::atomic<uintptr_t> regionBase{unreservedBase};
} // namespace pool

const char* const recordPoolDescription =
    "per-thread stacks of free blocks in size classes (16 to 256 bytes in 16-byte steps, then 512 to 4096), "
    "each class carved from its own stretch of one reserved range, free blocks idle beyond 1 MiB a class "
    "handed "
    "back to the system; malloc above";

void* takeBlock(size_t bytes, bool zeroed, bool reuse)
{
    if (!reuse || bytes > largestClassBytes || threadCache.closed)
        return fromMalloc(bytes, zeroed);
    const size_t index = classOf(std::max<size_t>(bytes, 1));
    ClassCache& own = threadCache.classes[index];
    void* const block = own.top != own.stack ? *--own.top : takeWithoutFreeBlock(index, own);
    if (block == nullptr)
        return fromMalloc(bytes, zeroed);
    OBCLIENT_UNPOISON(block, bytes);
    if (zeroed)
        std::memset(block, 0, bytes);
    return block;
}

void returnBlock(void* block)
{
    if (returnFreeBlock(block))
        return;
    const size_t index = classOfBlock(block);
    if (index == classCount) {
        std::free(block);
        return;
    }
    OBCLIENT_POISON(block, classBytes(index));
    returnToFullStack(index, threadCache.classes[index], block);
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
