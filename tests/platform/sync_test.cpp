// The mutex and condition variable of both builds: exclusion under contention,
// and hand-offs between two threads where every wake must reach its waiter.
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace setup {
namespace {

TEST(SyncTest, MutexExcludesAndConditionHandsOff) {
    Mutex mutex;
    long counter = 0;
    auto add = [&] {
        for (int i = 0; i < 100000; ++i) {
            std::lock_guard<Mutex> lock(mutex);
            ++counter;
        }
    };
    std::thread other(add);
    add();
    other.join();
    EXPECT_EQ(counter, 200000);

    // A ball passed back and forth: a lost wake would hang the test, a wake
    // without the state would let a side run out of turn.
    ConditionVariable turned;
    int turn = 0;
    int passes = 0;
    auto play = [&](int me) {
        for (int i = 0; i < 5000; ++i) {
            std::unique_lock<Mutex> lock(mutex);
            turned.Wait(lock, [&] { return turn == me; });
            ++passes;
            turn = 1 - me;
            lock.unlock();
            turned.NotifyAll();
        }
    };
    std::thread second([&] { play(1); });
    play(0);
    second.join();
    EXPECT_EQ(passes, 10000);

    // NotifyOne wakes one waiter of several; each is woken in the end.
    int ready = 0, woken = 0;
    ConditionVariable go;
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            std::unique_lock<Mutex> lock(mutex);
            go.Wait(lock, [&] { return ready > 0; });
            --ready;
            ++woken;
        });
    }
    for (int i = 0; i < 3; ++i) {
        {
            std::lock_guard<Mutex> lock(mutex);
            ++ready;
        }
        go.NotifyOne();
    }
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken, 3);
}

}  // namespace
}  // namespace setup
