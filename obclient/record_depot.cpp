#include "obclient/record_depot.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "obclient/record_pool.h"

namespace obclient::depot {
namespace {

using namespace pool;

// A class keeps this much in the depot whatever happens: the blocks a batch or
// two of notifications passes back and forth (a few hundred KiB at most) are
// never handed back only to be faulted in again.
constexpr size_t keptBytes = size_t{1} << 20;
// Long against the gaps of a busy stream, short against weeks of idling.
constexpr std::chrono::seconds idlePeriod{10};

struct ClassDepot {
    std::vector<void*> blocks; // the most recently deposited last
    std::vector<char*> releasedRuns;
    // The fewest blocks held since the previous look: those below it waited all along.
    size_t lowWater = 0;
};

struct Depot {
    std::mutex lock;
    ClassDepot classes[classCount];
    // Whether the releasing thread looks every idlePeriod, or sleeps until a class passes its bound.
    bool watching = false;
    bool stopping = false;
    std::condition_variable wake;
};

// Never destroyed: records may still be released while statics are torn down.
Depot& depot()
{
    static Depot* const shared = new Depot;
    return *shared;
}

size_t keptBlocks(size_t index)
{
    return keptBytes / classBytes(index);
}

// Sleeps whenever no class is over its bound, so an idle program is never woken.
void releaseWhileOverBounds()
{
    Depot& shared = depot();
    std::unique_lock<std::mutex> hold(shared.lock);
    while (!shared.stopping) {
        if (!shared.watching) {
            shared.wake.wait(hold, [&] { return shared.watching || shared.stopping; });
            continue;
        }
        if (shared.wake.wait_for(hold, idlePeriod, [&] { return shared.stopping; }))
            break;
        hold.unlock();
        releaseIdleBlocks();
        hold.lock();
        bool over = false;
        for (size_t index = 0; index < classCount; ++index)
            over = over || shared.classes[index].blocks.size() > keptBlocks(index);
        shared.watching = over;
    }
}

// Started by the first deposit that takes a class over its bound, stopped at
// exit. Never destroyed itself: a child forked after the start has no such
// thread, and leaves it alone.
struct Releaser {
    std::thread* thread = nullptr;
    pid_t startedIn = 0;
    ~Releaser()
    {
        if (thread == nullptr || startedIn != getpid())
            return;
        {
            std::lock_guard<std::mutex> hold(depot().lock);
            depot().stopping = true;
        }
        depot().wake.notify_all();
        thread->join();
    }
} releaser;

// Called with the lock held.
void watchBounds(Depot& shared)
{
    if (shared.watching || shared.stopping)
        return;
    for (ClassDepot& store : shared.classes)
        store.lowWater = store.blocks.size();
    shared.watching = true;
    if (releaser.thread == nullptr) {
        try {
            releaser.thread = new std::thread(releaseWhileOverBounds);
            releaser.startedIn = getpid();
        } catch (const std::exception&) {
            // Without the thread the blocks only wait in the depot unused.
            shared.watching = false;
        }
        return;
    }
    shared.wake.notify_all();
}

uintptr_t address(const void* block)
{
    return reinterpret_cast<uintptr_t>(block);
}

// The run that holds block, counted from the start of its class's stretch.
char* runOf(size_t index, const void* block)
{
    const uintptr_t stretch = regionBase.load(std::memory_order_relaxed) + index * stretchBytes;
    return reinterpret_cast<char*>(stretch + (address(block) - stretch) / runBytes * runBytes);
}

size_t emptyPages(uintptr_t begin, uintptr_t end)
{
    static const uintptr_t pageBytes = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (begin + pageBytes - 1) / pageBytes * pageBytes;
    const uintptr_t last = end / pageBytes * pageBytes;
    if (last <= first || madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0)
        return 0;
    return last - first;
}

struct Released {
    std::vector<void*> keptBlocks;
    std::vector<char*> runs;
    size_t bytes = 0;
};

// blocks sorted by address. A run all of whose blocks are here goes back whole;
// elsewhere the pages that free blocks cover end to end are emptied and the
// blocks stay, to be faulted in again when they are taken.
Released release(size_t index, const std::vector<void*>& blocks)
{
    const size_t bytes = classBytes(index);
    const size_t perRun = runBytes / bytes;
    Released result;
    result.keptBlocks.reserve(blocks.size());
    size_t at = 0;
    while (at < blocks.size()) {
        char* const run = runOf(index, blocks[at]);
        size_t end = at;
        while (end < blocks.size() && runOf(index, blocks[end]) == run)
            ++end;
        if (end - at == perRun && madvise(run, runBytes, MADV_DONTNEED) == 0) {
            result.runs.push_back(run);
            result.bytes += runBytes;
            at = end;
            continue;
        }
        for (size_t from = at; from < end;) {
            size_t to = from + 1;
            while (to < end && address(blocks[to]) == address(blocks[to - 1]) + bytes)
                ++to;
            result.bytes += emptyPages(address(blocks[from]), address(blocks[to - 1]) + bytes);
            from = to;
        }
        result.keptBlocks.insert(result.keptBlocks.end(), blocks.begin() + static_cast<std::ptrdiff_t>(at),
                                 blocks.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    return result;
}

} // namespace

void deposit(size_t index, void* const* blocks, size_t count) noexcept
{
    if (count == 0)
        return;
    Depot& shared = depot();
    std::lock_guard<std::mutex> hold(shared.lock);
    std::vector<void*>& stored = shared.classes[index].blocks;
    try {
        stored.insert(stored.end(), blocks, blocks + count);
    } catch (const std::bad_alloc&) {
    }
    if (stored.size() > keptBlocks(index))
        watchBounds(shared);
}

size_t withdraw(size_t index, void** into, size_t most)
{
    Depot& shared = depot();
    std::lock_guard<std::mutex> hold(shared.lock);
    ClassDepot& store = shared.classes[index];
    const size_t count = std::min(store.blocks.size(), most);
    const auto taken = store.blocks.end() - static_cast<std::ptrdiff_t>(count);
    std::copy(taken, store.blocks.end(), into);
    store.blocks.erase(taken, store.blocks.end());
    store.lowWater = std::min(store.lowWater, store.blocks.size());
    return count;
}

char* takeReleasedRun(size_t index)
{
    Depot& shared = depot();
    std::lock_guard<std::mutex> hold(shared.lock);
    std::vector<char*>& runs = shared.classes[index].releasedRuns;
    if (runs.empty())
        return nullptr;
    char* const run = runs.back();
    runs.pop_back();
    return run;
}

size_t releaseIdleBlocks()
{
    Depot& shared = depot();
    size_t releasedBytes = 0;
    for (size_t index = 0; index < classCount; ++index) {
        std::vector<void*> idle;
        {
            std::lock_guard<std::mutex> hold(shared.lock);
            ClassDepot& store = shared.classes[index];
            // The oldest blocks, below the low water, waited since the previous look.
            const size_t waited = std::min(store.lowWater, store.blocks.size());
            store.lowWater = store.blocks.size();
            if (waited <= keptBlocks(index))
                continue;
            const auto end = store.blocks.begin() + static_cast<std::ptrdiff_t>(waited - keptBlocks(index));
            try {
                idle.assign(store.blocks.begin(), end);
            } catch (const std::bad_alloc&) {
                continue;
            }
            store.blocks.erase(store.blocks.begin(), end);
            store.lowWater = store.blocks.size();
        }
        // Out of the depot while the system calls run, so other threads are not held up.
        std::sort(idle.begin(), idle.end());
        Released released;
        try {
            released = release(index, idle);
        } catch (const std::bad_alloc&) {
            released.keptBlocks = std::move(idle);
        }
        releasedBytes += released.bytes;
        std::lock_guard<std::mutex> hold(shared.lock);
        ClassDepot& store = shared.classes[index];
        try {
            store.blocks.insert(store.blocks.begin(), released.keptBlocks.begin(), released.keptBlocks.end());
            store.releasedRuns.insert(store.releasedRuns.end(), released.runs.begin(), released.runs.end());
        } catch (const std::bad_alloc&) {
        }
        store.lowWater += released.keptBlocks.size();
        // The pointers of the runs handed back are gone for good; so is the room they took.
        if (store.blocks.capacity() > 2 * store.blocks.size() + keptBlocks(index))
            store.blocks.shrink_to_fit();
    }
    return releasedBytes;
}

} // namespace obclient::depot
