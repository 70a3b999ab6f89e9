// A mutex and a condition variable on the system's own light primitives. The
// C++ library of the Windows build waits and wakes through semaphores and
// events, each a round trip through the system even when nobody has to sleep;
// these stay in the process unless a thread really waits.
#pragma once

#include <memory>
#include <mutex>

namespace setup {

// Lockable: std::lock_guard and std::unique_lock take it.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock();
    void unlock();

private:
    friend class ConditionVariable;
    struct State;
    std::unique_ptr<State> state_;
};

class ConditionVariable {
public:
    ConditionVariable();
    ~ConditionVariable();
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    // Releases the lock's mutex while waiting; the lock is held again on
    // return. Wakes may come without a notify, so callers wait for a state.
    void Wait(std::unique_lock<Mutex>& lock);
    template <typename Ready>
    void Wait(std::unique_lock<Mutex>& lock, Ready ready) {
        while (!ready()) Wait(lock);
    }
    void NotifyOne();
    void NotifyAll();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace setup
