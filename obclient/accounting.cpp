#include "obclient/accounting.h"

#include <array>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "obclient/obclient.h"
#include "obclient/record_pool.h"

namespace obclient {
namespace {

using namespace counting;

size_t indexOf(RecordKind kind)
{
    return static_cast<size_t>(kind);
}

struct CountRegistry {
    std::mutex lock;
    ThreadCounts* threads = nullptr;
    Counts retired{};
};

// Never destroyed: records are released while the process exits.
CountRegistry& countRegistry()
{
    static CountRegistry* instance = new CountRegistry;
    return *instance;
}

struct ThreadCountsRetirer {
    ~ThreadCountsRetirer()
    {
        CountRegistry& registry = countRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        for (size_t i = 0; i < kindCount; ++i) {
            registry.retired.made[i].fetch_add(threadCounts.made[i].load(std::memory_order_relaxed),
                                               std::memory_order_relaxed);
            registry.retired.released[i].fetch_add(threadCounts.released[i].load(std::memory_order_relaxed),
                                                   std::memory_order_relaxed);
        }
        (threadCounts.previous != nullptr ? threadCounts.previous->next : registry.threads) =
            threadCounts.next;
        if (threadCounts.next != nullptr)
            threadCounts.next->previous = threadCounts.previous;
        threadCounts.state = CountsState::Retired;
    }
};
thread_local ThreadCountsRetirer threadCountsRetirer;

[[gnu::noinline]] void linkThreadCounts()
{
    CountRegistry& registry = countRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    threadCounts.next = registry.threads;
    if (registry.threads != nullptr)
        registry.threads->previous = &threadCounts;
    registry.threads = &threadCounts;
    threadCounts.state = CountsState::Open;
    // The first use of a thread_local with a destructor registers it for thread exit.
    static_cast<void>(&threadCountsRetirer);
}

// Null once the thread's counts are retired (records released by later
// thread-exit destructors): the retired totals then take the count directly.
Counts* countsOfThisThread()
{
    if (threadCounts.state == CountsState::Unlinked)
        linkThreadCounts();
    return threadCounts.state == CountsState::Retired ? nullptr : &threadCounts;
}

void countMade(size_t kind)
{
    if (Counts* counts = countsOfThisThread())
        bump(counts->made[kind]);
    else
        countRegistry().retired.made[kind].fetch_add(1, std::memory_order_relaxed);
}

void countReleased(size_t kind)
{
    if (Counts* counts = countsOfThisThread())
        bump(counts->released[kind]);
    else
        countRegistry().retired.released[kind].fetch_add(1, std::memory_order_relaxed);
}

struct Totals {
    std::array<int64_t, kindCount> made{};
    std::array<int64_t, kindCount> released{};
};

Totals sumCounts()
{
    CountRegistry& registry = countRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    Totals totals;
    auto add = [&totals](const Counts& counts) {
        for (size_t i = 0; i < kindCount; ++i) {
            // Released first, so that a record this thread makes and releases meanwhile is never live at -1.
            totals.released[i] += counts.released[i].load(std::memory_order_relaxed);
            totals.made[i] += counts.made[i].load(std::memory_order_relaxed);
        }
    };
    add(registry.retired);
    for (const ThreadCounts* counts = registry.threads; counts != nullptr; counts = counts->next)
        add(*counts);
    return totals;
}

int64_t liveCount(const Totals& totals, size_t kind)
{
    return totals.made[kind] - totals.released[kind];
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
    countMade(indexOf(kind));
    if (checkedMode.load(std::memory_order_relaxed))
        registerRecord(kind, record);
}

void noteReleased(RecordKind kind, const void* record, const char* function)
{
    if (checkedMode.load(std::memory_order_relaxed))
        unregisterRecord(kind, record, function);
    countReleased(indexOf(kind));
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

namespace counting {
__thread ThreadCounts threadCounts;
std::atomic<bool> checkedMode{false};
} // namespace counting

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

// Checked mode takes fresh memory for every record, so the sanitizers and
// valgrind see each use after release.
bool reuseMemory()
{
    return !checkedMode.load(std::memory_order_relaxed);
}

void* allocateRecordAnyhow(RecordKind kind, size_t bytes, bool zeroed)
{
    void* record = takeBlock(bytes, zeroed, reuseMemory());
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

void retireRecordAnyhow(RecordKind kind, const void* record, const char* function)
{
    noteReleased(kind, record, function);
}

void* resizeRecord(RecordKind kind, void* record, size_t oldBytes, size_t bytes, const char* function)
{
    // Checked before the memory is touched, so a bad pointer is reported rather than crashed on.
    noteReleased(kind, record, function);
    void* resized = resizeBlock(record, oldBytes, bytes, reuseMemory());
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
    const obclient::Totals totals = obclient::sumCounts();
    return countsByKind([&totals](size_t kind) { return obclient::liveCount(totals, kind); });
}

obclient_counts_t obclient_allocation_totals(void)
{
    const obclient::Totals totals = obclient::sumCounts();
    return countsByKind([&totals](size_t kind) { return totals.made[kind]; });
}

const char* obclient_record_allocator(void)
{
    return obclient::recordPoolDescription;
}

void obclient_set_checked(bool on)
{
    obclient::Registry& reg = obclient::registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    if (on == obclient::counting::checkedMode.load(std::memory_order_relaxed))
        return;
    reg.live.clear();
    const obclient::Totals totals = obclient::sumCounts();
    for (size_t i = 0; i < obclient::counting::kindCount; ++i) {
        int64_t live = on ? obclient::liveCount(totals, i) : 0;
        obclient::unregisteredLive[i].store(live, std::memory_order_relaxed);
    }
    obclient::counting::checkedMode.store(on, std::memory_order_relaxed);
}

bool obclient_checked(void)
{
    return obclient::counting::checkedMode.load(std::memory_order_relaxed);
}
