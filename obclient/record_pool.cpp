#include "obclient/record_pool.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// The class's slack past the asked size stays out of bounds for the sanitizer.
#define OBCLIENT_LIMIT_BLOCK(block, bytes, total)                                                            \
    do {                                                                                                     \
        ASAN_UNPOISON_MEMORY_REGION(block, total);                                                           \
        ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + (bytes), (total) - (bytes));                   \
    } while (false)
#else
#define OBCLIENT_LIMIT_BLOCK(block, bytes, total) static_cast<void>(0)
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
// A thread that frees more than it makes (one that only releases what another
// built) gives the excess back to malloc instead of hoarding it.
constexpr size_t cachedBytesPerClass = 1 << 20;

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

struct FreeBlock {
    FreeBlock* next;
};

// Trivially destructible, so it stays usable after the thread's destructors
// have run (records released then go straight to free).
struct ThreadLists {
    FreeBlock* heads[classCount];
    uint32_t lengths[classCount];
    bool reaperArmed;
    bool closed;
};

// Initial-exec: the host library is loaded with the program, never later, and
// this saves a TLS lookup call on every record.
__attribute__((tls_model("initial-exec"))) thread_local ThreadLists lists{};

// Its destruction at thread exit hands the thread's cached blocks back to malloc.
struct ListsReaper {
    ~ListsReaper()
    {
        lists.closed = true;
        for (size_t i = 0; i < classCount; ++i) {
            while (FreeBlock* block = lists.heads[i]) {
                lists.heads[i] = block->next;
                std::free(block);
            }
            lists.lengths[i] = 0;
        }
    }
};
thread_local ListsReaper reaper;

[[gnu::noinline]] void armReaper()
{
    lists.reaperArmed = true;
    // The first use of a thread_local with a destructor registers it for thread exit.
    static_cast<void>(&reaper);
}

size_t classLimit(size_t index)
{
    return cachedBytesPerClass / classBytes(index);
}

} // namespace

const char* const recordPoolDescription = "per-thread free lists of size classes (16 to 256 bytes in 16-byte "
                                          "steps, then 512 to 4096), malloc above";

void* takeBlock(size_t bytes, bool zeroed, bool reuse)
{
    if (bytes > largestClassBytes)
        return zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
    const size_t index = classOf(bytes);
    void* block = reuse ? lists.heads[index] : nullptr;
    if (block != nullptr) {
        lists.heads[index] = lists.heads[index]->next;
        --lists.lengths[index];
    } else {
        block = std::malloc(classBytes(index));
        if (block == nullptr)
            return nullptr;
    }
    OBCLIENT_LIMIT_BLOCK(block, bytes, classBytes(index));
    if (zeroed)
        std::memset(block, 0, bytes);
    return block;
}

void returnBlock(void* block, size_t bytes, bool reuse)
{
    if (!reuse || bytes > largestClassBytes || lists.closed) {
        std::free(block);
        return;
    }
    const size_t index = classOf(bytes);
    if (lists.lengths[index] >= classLimit(index)) {
        std::free(block);
        return;
    }
    if (!lists.reaperArmed)
        armReaper();
    OBCLIENT_LIMIT_BLOCK(block, sizeof(FreeBlock), classBytes(index));
    auto* freed = static_cast<FreeBlock*>(block);
    freed->next = lists.heads[index];
    lists.heads[index] = freed;
    ++lists.lengths[index];
}

void* resizeBlock(void* block, size_t oldBytes, size_t newBytes, bool reuse)
{
    if (oldBytes > largestClassBytes && newBytes > largestClassBytes)
        return std::realloc(block, newBytes);
    void* resized = takeBlock(newBytes, false, reuse);
    if (resized == nullptr)
        return nullptr;
    std::memcpy(resized, block, oldBytes < newBytes ? oldBytes : newBytes);
    returnBlock(block, oldBytes, reuse);
    return resized;
}

} // namespace obclient
