// The C++ library's own primitives: on Linux they are already light.
#include <condition_variable>

#include "platform/sync.h"

namespace setup {

struct Mutex::State {
    std::mutex Lock;
};

Mutex::Mutex() : state_(std::make_unique<State>()) {}
Mutex::~Mutex() = default;
void Mutex::lock() { state_->Lock.lock(); }
void Mutex::unlock() { state_->Lock.unlock(); }

struct ConditionVariable::State {
    std::condition_variable_any Variable;
};

ConditionVariable::ConditionVariable() : state_(std::make_unique<State>()) {}
ConditionVariable::~ConditionVariable() = default;
void ConditionVariable::Wait(std::unique_lock<Mutex>& lock) { state_->Variable.wait(lock); }
void ConditionVariable::NotifyOne() { state_->Variable.notify_one(); }
void ConditionVariable::NotifyAll() { state_->Variable.notify_all(); }

}  // namespace setup
