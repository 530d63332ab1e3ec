// The record pool itself, checked mode off: a thread that only makes records refills through the
// shared depot from the overflow of one that only releases them. A block handed out twice has two
// owners writing it, which no sanitizer sees inside the pool's own runs, so every block held is
// registered here.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "tests/support/host_test.h"

namespace {

using RecordPoolDepot = testing_support::HostTest;

// Several size classes, and the maker's blocks held for longer than a stack's worth of releases,
// so that a block the depot handed out earlier is still held when it could come again.
TEST_F(RecordPoolDepot, BlocksPassedFromAReleasingThreadThroughTheDepotAreHandedOutOnce)
{
    constexpr std::size_t batchTexts = 500;
    constexpr std::size_t batchesInFlight = 80; // 40,000 texts: more than any class's stack holds
    constexpr std::size_t batches = 8 * batchesInFlight;
    obclient_set_checked(false);
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<vlm_data_t>> queue;
    std::unordered_set<const void*> held;
    bool makerDone = false;
    std::size_t twice = 0;

    const obclient_counts_t madeBefore = obclient_allocation_totals();
    std::thread maker([&] {
        for (std::size_t batch = 0; batch < batches; ++batch) {
            const std::size_t length = 2 + batch % 3 * 40;
            std::vector<vlm_data_t> texts;
            for (std::size_t i = 0; i < batchTexts; ++i)
                texts.push_back(obclient_string_n(std::string(length, 'x').c_str(), length));
            std::unique_lock<std::mutex> hold(lock);
            for (const vlm_data_t& text : texts)
                twice += !held.insert(text.payload.string).second;
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
                // Unregistered before they go back, so that the maker taking them next finds them free.
                for (const vlm_data_t& text : texts)
                    held.erase(text.payload.string);
                changed.notify_all();
            }
            for (const vlm_data_t& text : texts)
                obclient_free_data(text);
        }
    });
    maker.join();
    releaser.join();
    obclient_set_checked(true);
    EXPECT_EQ(twice, 0u) << "blocks handed out while held";
    EXPECT_EQ(obclient_allocation_totals().strings - madeBefore.strings, std::int64_t{batches * batchTexts});
}

} // namespace
