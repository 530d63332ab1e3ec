// The record pool's own objects, built into this test: blocks that wait in the depot go back to the
// system, as whole runs or as the pages free blocks cover, and come back usable, each handed out once.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>

#include "obclient/record_depot.h"
#include "obclient/record_pool.h"
#include "tests/support/host_test.h"

namespace {

constexpr std::size_t blockBytes = 16;
// 3.2 MB of the smallest class, three times what the depot keeps of a class.
constexpr std::size_t burstBlocks = 200000;
constexpr std::size_t depotKeeps = std::size_t{1} << 20;

const std::uintptr_t pageBytes = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));

std::uintptr_t pageOf(const void* block)
{
    return reinterpret_cast<std::uintptr_t>(block) / pageBytes * pageBytes;
}

// Bytes of the pages under blocks that are in memory.
std::size_t residentBytes(const std::vector<void*>& blocks)
{
    std::set<std::uintptr_t> pages;
    for (const void* block : blocks)
        pages.insert(pageOf(block));
    std::size_t resident = 0;
    for (std::uintptr_t page : pages) {
        unsigned char inMemory = 0;
        EXPECT_EQ(mincore(reinterpret_cast<void*>(page), 1, &inMemory), 0);
        resident += (inMemory & 1) != 0 ? pageBytes : 0;
    }
    return resident;
}

using RecordRelease = testing_support::HostTest;

// One block in every livePageEvery pages stays taken through the idle time, so that no run is free whole.
TEST_F(RecordRelease, BlocksThatWaitInTheDepotGoBackToTheSystemAndComeBackOnce)
{
    for (const std::uintptr_t livePageEvery : {0, 16}) {
        SCOPED_TRACE(livePageEvery);
        const auto takeBurst = [](std::vector<void*>& blocks, int fill) {
            for (std::size_t i = 0; i < burstBlocks; ++i) {
                blocks.push_back(obclient::takeBlock(blockBytes, false, true));
                std::memset(blocks.back(), fill, blockBytes);
            }
        };
        std::vector<void*> burst;
        std::vector<void*> live;
        // A thread that ends leaves its free blocks to the depot.
        std::thread([&] {
            takeBurst(burst, 0xA5);
            for (void* block : burst) {
                const std::uintptr_t page = pageOf(block);
                const bool stays = livePageEvery != 0 && page == reinterpret_cast<std::uintptr_t>(block) &&
                                   page / pageBytes % livePageEvery == 0;
                stays ? live.push_back(block) : obclient::returnBlock(block);
            }
        }).join();
        EXPECT_GT(residentBytes(burst), burstBlocks * blockBytes / 2);

        // The first look finds what waits, the second hands back what waited since.
        obclient::depot::releaseIdleBlocks();
        obclient::depot::releaseIdleBlocks();
        EXPECT_LE(residentBytes(burst), depotKeeps + live.size() * pageBytes + obclient::pool::runBytes);

        std::vector<void*> taken = live;
        takeBurst(taken, 0x5A);
        for (void* block : taken)
            obclient::returnBlock(block);
        std::sort(taken.begin(), taken.end());
        EXPECT_EQ(std::adjacent_find(taken.begin(), taken.end()), taken.end()) << "a block handed out twice";
    }
}

} // namespace
