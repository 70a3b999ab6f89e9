// Slim reader/writer locks and condition variables: they wait on an address
// and take no kernel object unless a thread has to sleep.
#include "platform/sync.h"
#include "platform/win32/windows_api.h"

namespace setup {

struct Mutex::State {
    SRWLOCK Lock = SRWLOCK_INIT;
};

Mutex::Mutex() : state_(std::make_unique<State>()) {}
Mutex::~Mutex() = default;
void Mutex::lock() { AcquireSRWLockExclusive(&state_->Lock); }
void Mutex::unlock() { ReleaseSRWLockExclusive(&state_->Lock); }

struct ConditionVariable::State {
    CONDITION_VARIABLE Variable = CONDITION_VARIABLE_INIT;
};

ConditionVariable::ConditionVariable() : state_(std::make_unique<State>()) {}
ConditionVariable::~ConditionVariable() = default;

void ConditionVariable::Wait(std::unique_lock<Mutex>& lock) {
    SleepConditionVariableSRW(&state_->Variable, &lock.mutex()->state_->Lock, INFINITE, 0);
}

void ConditionVariable::NotifyOne() { WakeConditionVariable(&state_->Variable); }
void ConditionVariable::NotifyAll() { WakeAllConditionVariable(&state_->Variable); }

}  // namespace setup
