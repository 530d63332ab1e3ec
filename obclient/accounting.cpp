#include "obclient/accounting.h"

#include <array>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "obclient/obclient.h"

namespace obclient {
namespace {

constexpr size_t kindCount = 5;

size_t indexOf(RecordKind kind)
{
    return static_cast<size_t>(kind);
}

// Live is made minus released: two running totals cost no more than one live
// count (one relaxed increment per allocation and per release) and give the
// allocation totals for free.
std::array<std::atomic<int64_t>, kindCount> madeCounts{};
std::array<std::atomic<int64_t>, kindCount> releasedCounts{};
std::atomic<bool> checkedMode{false};

int64_t liveCount(size_t kind)
{
    // Released is read first so that, on one thread, a record cannot count as released but not made.
    const int64_t released = releasedCounts[kind].load(std::memory_order_relaxed);
    return madeCounts[kind].load(std::memory_order_relaxed) - released;
}

// Records already live when checked mode was switched on are not in the
// registry; a release of an unknown pointer is accepted while such records of
// its kind remain, since it cannot be told apart from one of them.
std::array<std::atomic<int64_t>, kindCount> unregisteredLive{};

struct Registry {
    std::mutex lock;
    std::unordered_map<const void*, RecordKind> live;
};

// Never destroyed: plug-ins release their constants while the process exits,
// possibly after this library's static objects would be gone.
Registry& registry()
{
    static Registry* instance = new Registry;
    return *instance;
}

[[noreturn]] void failRelease(const char* function, const void* record, const char* reason)
{
    std::fprintf(stderr, "obclient: %s(%p): %s\n", function, record, reason);
    std::fflush(stderr);
    std::abort();
}

// The registry functions stay out of line, so that with checked mode off a
// release is a flag test and a counter update without their stack frame.
[[gnu::noinline]] void registerRecord(RecordKind kind, const void* record)
{
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    reg.live[record] = kind;
}

[[gnu::noinline]] void unregisterRecord(RecordKind kind, const void* record, const char* function)
{
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto found = reg.live.find(record);
    if (found == reg.live.end()) {
        std::atomic<int64_t>& unregistered = unregisteredLive[indexOf(kind)];
        int64_t remaining = unregistered.load(std::memory_order_relaxed);
        if (remaining > 0) {
            unregistered.store(remaining - 1, std::memory_order_relaxed);
            return;
        }
        char reason[96];
        std::snprintf(reason, sizeof reason, "not a live %s", recordKindName(kind));
        failRelease(function, record, reason);
    }
    if (found->second != kind) {
        char reason[96];
        std::snprintf(reason, sizeof reason, "a live %s released as a %s", recordKindName(found->second),
                      recordKindName(kind));
        failRelease(function, record, reason);
    }
    reg.live.erase(found);
}

void noteAllocated(RecordKind kind, const void* record)
{
    madeCounts[indexOf(kind)].fetch_add(1, std::memory_order_relaxed);
    if (checkedMode.load(std::memory_order_relaxed))
        registerRecord(kind, record);
}

void noteReleased(RecordKind kind, const void* record, const char* function)
{
    if (checkedMode.load(std::memory_order_relaxed))
        unregisterRecord(kind, record, function);
    releasedCounts[indexOf(kind)].fetch_add(1, std::memory_order_relaxed);
}

bool checkedByEnvironment()
{
    const char* value = std::getenv("OBCLIENT_CHECKED");
    return value != nullptr && value[0] != '\0' && !(value[0] == '0' && value[1] == '\0');
}

struct CheckedModeFromEnvironment {
    CheckedModeFromEnvironment() { obclient_set_checked(checkedByEnvironment()); }
} const checkedModeFromEnvironment;

} // namespace

const char* recordKindName(RecordKind kind)
{
    switch (kind) {
    case RecordKind::String:
        return "string";
    case RecordKind::Map:
        return "map";
    case RecordKind::List:
        return "list";
    case RecordKind::Buffer:
        return "buffer";
    case RecordKind::Custom:
        return "custom";
    }
    return "unknown";
}

void* allocateRecord(RecordKind kind, size_t bytes, bool zeroed)
{
    void* record = zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
    if (record == nullptr) {
        std::fprintf(stderr, "obclient: out of memory allocating a %s of %zu bytes\n", recordKindName(kind),
                     bytes);
        std::abort();
    }
    noteAllocated(kind, record);
    return record;
}

size_t recordBytes(RecordKind kind, size_t headerBytes, size_t itemBytes, uint64_t items)
{
    if (items > (SIZE_MAX - headerBytes) / itemBytes) {
        std::fprintf(stderr, "obclient: a %s of %" PRIu64 " items does not fit in memory\n",
                     recordKindName(kind), items);
        std::abort();
    }
    return headerBytes + static_cast<size_t>(items) * itemBytes;
}

void releaseRecord(RecordKind kind, void* record, const char* function)
{
    noteReleased(kind, record, function);
    std::free(record);
}

void retireRecord(RecordKind kind, const void* record, const char* function)
{
    noteReleased(kind, record, function);
}

void* resizeRecord(RecordKind kind, void* record, size_t bytes, const char* function)
{
    // Checked before realloc touches it, so a bad pointer is reported rather than crashed on.
    noteReleased(kind, record, function);
    void* resized = std::realloc(record, bytes);
    if (resized == nullptr) {
        std::fprintf(stderr, "obclient: out of memory growing a %s to %zu bytes\n", recordKindName(kind),
                     bytes);
        std::abort();
    }
    noteAllocated(kind, resized);
    return resized;
}

} // namespace obclient

using obclient::indexOf;
using obclient::RecordKind;

namespace {

template <class Count> obclient_counts_t countsByKind(Count count)
{
    return obclient_counts_t{count(indexOf(RecordKind::String)), count(indexOf(RecordKind::Map)),
                             count(indexOf(RecordKind::List)), count(indexOf(RecordKind::Buffer)),
                             count(indexOf(RecordKind::Custom))};
}

} // namespace

obclient_counts_t obclient_live_counts(void)
{
    return countsByKind(obclient::liveCount);
}

obclient_counts_t obclient_allocation_totals(void)
{
    return countsByKind(
        [](size_t kind) { return obclient::madeCounts[kind].load(std::memory_order_relaxed); });
}

void obclient_set_checked(bool on)
{
    obclient::Registry& reg = obclient::registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    if (on == obclient::checkedMode.load(std::memory_order_relaxed))
        return;
    reg.live.clear();
    for (size_t i = 0; i < obclient::kindCount; ++i) {
        int64_t live = on ? obclient::liveCount(i) : 0;
        obclient::unregisteredLive[i].store(live, std::memory_order_relaxed);
    }
    obclient::checkedMode.store(on, std::memory_order_relaxed);
}

bool obclient_checked(void)
{
    return obclient::checkedMode.load(std::memory_order_relaxed);
}
