// Host records made on one thread and released on another, with the per-thread
// free blocks in use (checked mode off): no block may be handed out twice, and
// the counts of threads that have ended must still add up exactly. The second
// round's threads take blocks that ended threads left in the shared depot.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/host_test.h"

namespace {

constexpr int threadCount = 4;
constexpr int recordsPerThread = 2000;

std::string textOf(int thread, int serial)
{
    // Lengths vary so that several size classes are in play.
    return std::to_string(thread) + ":" + std::to_string(serial) + std::string(serial % 70, 'x');
}

class RecordThreads : public testing_support::HostTest {
protected:
    void TearDown() override
    {
        obclient_set_checked(true);
        HostTest::TearDown();
    }
};

TEST_F(RecordThreads, RecordsReleasedByAnotherThreadAreCountedOnceAndNeverShared)
{
    obclient_set_checked(false);
    const obclient_counts_t madeBefore = obclient_allocation_totals();
    constexpr int rounds = 2;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::vector<vlm_data_t>> made(threadCount);
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([t, &made] {
                for (int i = 0; i < recordsPerThread; ++i) {
                    // Every third record is released at once, so blocks are reused while others live.
                    made[t].push_back(obclient_string(textOf(t, i).c_str()));
                    if (i % 3 == 0)
                        vlm_free_string(obclient_string("short lived").payload.string);
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        threads.clear();

        std::vector<int> intact(threadCount, 0);
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([t, &made, &intact] {
                const int owner = (t + 1) % threadCount;
                for (int i = 0; i < recordsPerThread; ++i) {
                    intact[t] += textOf(owner, i) == made[owner][i].payload.string;
                    obclient_free_data(made[owner][i]);
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();

        for (int t = 0; t < threadCount; ++t)
            EXPECT_EQ(intact[t], recordsPerThread)
                << "round " << round << ", records of thread " << (t + 1) % threadCount;
    }
    const int perThread = recordsPerThread + (recordsPerThread + 2) / 3;
    EXPECT_EQ(obclient_allocation_totals().strings - madeBefore.strings, rounds * threadCount * perThread);
    // The fixture checks that the live counts are back at their baseline.
}

} // namespace
