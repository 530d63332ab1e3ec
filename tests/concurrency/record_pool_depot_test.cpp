// The record pool itself, checked mode off, past its per-thread stacks: a thread
// that releases more blocks of a class than its stack holds sends the oldest half
// to the shared depot, and a thread that makes more than it releases refills from
// there. A block handed out twice has two owners writing it, which no sanitizer
// sees inside the pool's own runs, so every block held is registered here. The
// counts of threads that made or released records and ended must still add up.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "tests/support/host_test.h"

namespace {

// More than any class's stack holds, so each run below overflows one several times.
constexpr std::size_t pastFullStacks = 40000;

class RecordPoolDepot : public testing_support::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        obclient_set_checked(false);
    }
    void TearDown() override
    {
        obclient_set_checked(true);
        HostTest::TearDown();
    }

    // Makes `count` texts of `length` on the calling thread; returns how many came while registered as held.
    // Two letters take the smallest blocks, the class with the largest stack.
    std::size_t makeInto(std::vector<vlm_data_t>& texts, std::size_t count, std::size_t length = 2)
    {
        std::size_t twice = 0;
        for (std::size_t i = 0; i < count; ++i) {
            texts.push_back(obclient_string_n(std::string(length, 'x').c_str(), length));
            std::lock_guard<std::mutex> hold(heldLock_);
            twice += !held_.insert(texts.back().payload.string).second;
        }
        return twice;
    }
    // Unregistered before it goes back, so that a thread taking it next finds it free.
    void releaseAll(std::vector<vlm_data_t>& texts)
    {
        for (const vlm_data_t& text : texts) {
            {
                std::lock_guard<std::mutex> hold(heldLock_);
                held_.erase(text.payload.string);
            }
            obclient_free_data(text);
        }
        texts.clear();
    }

private:
    std::mutex heldLock_;
    std::unordered_set<const void*> held_; // every block held at the moment, by any thread
};

// One thread's overflow is taken by two at once: what the releasing thread kept
// and what it sent to the depot must be different blocks.
TEST_F(RecordPoolDepot, WhatAFullStackKeepsAndWhatItSendsOnAreNeverTheSameBlocks)
{
    std::vector<vlm_data_t> released;
    ASSERT_EQ(makeInto(released, pastFullStacks), 0u);
    releaseAll(released);

    std::vector<vlm_data_t> kept;
    std::vector<vlm_data_t> fromDepot;
    std::size_t twiceOnOtherThread = 0;
    std::thread other([&] { twiceOnOtherThread = makeInto(fromDepot, pastFullStacks); });
    const std::size_t twiceHere = makeInto(kept, pastFullStacks);
    other.join();
    EXPECT_EQ(twiceHere + twiceOnOtherThread, 0u) << "blocks handed out while held";
    releaseAll(kept);
    releaseAll(fromDepot);
}

// A thread that only makes and one that only releases, in several size classes: every
// block the maker gets after its first runs comes back through the releaser's overflow
// and the depot.
TEST_F(RecordPoolDepot, BlocksPassedFromAReleasingThreadThroughTheDepotAreHandedOutOnce)
{
    constexpr std::size_t batchTexts = 500;
    constexpr std::size_t batches = 8 * pastFullStacks / batchTexts;
    // The maker's blocks stay held for longer than a stack's worth of releases, so a
    // block the depot handed out earlier is still held when it could come again.
    constexpr std::size_t batchesInFlight = pastFullStacks / batchTexts;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<vlm_data_t>> queue;
    bool makerDone = false;

    const obclient_counts_t madeBefore = obclient_allocation_totals();
    std::size_t twice = 0;
    std::thread maker([&] {
        for (std::size_t batch = 0; batch < batches; ++batch) {
            std::vector<vlm_data_t> texts;
            twice += makeInto(texts, batchTexts, 2 + batch % 3 * 40);
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return queue.size() < batchesInFlight; });
            queue.push_back(std::move(texts));
            changed.notify_all();
        }
        std::lock_guard<std::mutex> hold(lock);
        makerDone = true;
        changed.notify_all();
    });
    std::thread releaser([&] {
        for (;;) {
            std::vector<vlm_data_t> texts;
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return !queue.empty() || makerDone; });
                if (queue.empty())
                    return;
                texts = std::move(queue.front());
                queue.pop_front();
                changed.notify_all();
            }
            releaseAll(texts);
        }
    });
    maker.join();
    releaser.join();
    EXPECT_EQ(twice, 0u) << "blocks handed out while held";
    EXPECT_EQ(obclient_allocation_totals().strings - madeBefore.strings, std::int64_t{batches * batchTexts});
}

} // namespace
