// Every host record is allocated and released through these helpers, so the
// live counts and the checked-mode registry see all of them.
#ifndef OBCLIENT_ACCOUNTING_H
#define OBCLIENT_ACCOUNTING_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "obclient/record_pool.h"

namespace obclient {

enum class RecordKind { String, Map, List, Buffer, Custom };

const char* recordKindName(RecordKind kind);

namespace counting {

constexpr size_t kindCount = 5;

// Live is made minus released. Each thread counts its own records (plain
// stores, no locked instruction) and the totals are summed when read; a thread
// that ends folds its counts into the retired totals first, so nothing is lost.
struct Counts {
    std::atomic<int64_t> made[kindCount];
    std::atomic<int64_t> released[kindCount];
};

// Trivially constructible and destructible, so it needs no initialisation call
// where it is used and the counts stay readable until the thread is gone.
// Unlinked is zero, what a new thread's storage holds. Retired: the thread's exit
// has folded these counts into the retired totals.
enum class CountsState : uint8_t { Unlinked, Open, Retired };

struct ThreadCounts : Counts {
    ThreadCounts* next;
    ThreadCounts* previous;
    CountsState state;
};
extern __attribute__((tls_model("initial-exec"), visibility("hidden"))) __thread ThreadCounts threadCounts;

extern __attribute__((visibility("hidden"))) std::atomic<bool> checkedMode;

inline void bump(std::atomic<int64_t>& counter, int64_t amount = 1)
{
    counter.store(counter.load(std::memory_order_relaxed) + amount, std::memory_order_relaxed);
}

// Unchecked, reusing memory, and this thread's counts in use.
inline bool onFastPath()
{
    return !checkedMode.load(std::memory_order_relaxed) && threadCounts.state == CountsState::Open;
}

} // namespace counting

// The general paths behind the inlined ones below, kept out of their callers so those stay small.
[[gnu::noinline]] void* allocateRecordAnyhow(RecordKind kind, size_t bytes, bool zeroed);
[[gnu::noinline]] void retireRecordAnyhow(RecordKind kind, const void* record, const char* function);

// Never returns null: a host that cannot allocate has no way to report it to
// the plug-in, so running out of memory aborts with a message.
inline void* allocateRecord(RecordKind kind, size_t bytes, bool zeroed)
{
    if (counting::onFastPath()) {
        if (void* const block = takeFreeBlock(bytes)) {
            counting::bump(counting::threadCounts.made[static_cast<size_t>(kind)]);
            if (zeroed)
                std::memset(block, 0, bytes);
            return block;
        }
    }
    return allocateRecordAnyhow(kind, bytes, zeroed);
}

// The size of a header followed by `items` elements, aborting when it does not fit in memory.
size_t recordBytes(RecordKind kind, size_t headerBytes, size_t itemBytes, uint64_t items);

// Releasing is two steps: the accounting, checked before the record is read
// (so a double release is reported instead of walking freed memory), then the
// memory (the record's contents released first). `function` names the host function that releases the record,
// for the report printed when checked mode finds the pointer is not a live record of `kind`.
inline void retireRecord(RecordKind kind, const void* record, const char* function)
{
    if (counting::onFastPath())
        counting::bump(counting::threadCounts.released[static_cast<size_t>(kind)]);
    else
        retireRecordAnyhow(kind, record, function);
}

// Counts `count` records of one kind as released, in one update: for a caller that
// found itself on the fast path and released them without retireRecord.
inline void countReleasedOnFastPath(RecordKind kind, uint64_t count)
{
    counting::bump(counting::threadCounts.released[static_cast<size_t>(kind)], static_cast<int64_t>(count));
}

inline void freeRecordMemory(void* record)
{
    if (!returnFreeBlock(record))
        returnBlock(record);
}

void* resizeRecord(RecordKind kind, void* record, size_t oldBytes, size_t bytes, const char* function);

} // namespace obclient

#endif
