// The scheme of a program as the explorer keeps it, apart from the program's
// own variables: each worker's phase (arriving, admitted, released), taken from
// what the scheduler observes and the scenario's commands, and the scheme's
// rules checked on that picture. One file per program (scheme_<program>.cpp)
// implements these; its model forwards its reset and events to it.
#pragma once

#include <array>
#include <string>

#include "istrazi.hpp"

namespace istrazi::scheme {

void reset(const Scenario& scenario);
void observe(const Event& event);
// After each step: empty, or the rule the picture broke.
std::string check(const StepView& step);
// The picture, kept in a slot and taken back with a run's checkpoints.
void save(std::size_t slot);
void restore(std::size_t slot);

// Counts each thread's holds of one lock that it gave up by unlocking rather
// than by waiting on a condition: the programs admit a worker at the end of
// one such hold and release it at the end of a later one. A hold resumed from
// a wait counts unless `countResumed` is false (niz-locks gives the lock up
// after every wait and takes it afresh for its next test).
class Holds {
 public:
  explicit Holds(const void* lock, bool countResumed = true) : lock_(lock), countResumed_(countResumed) {}
  void reset() {
    ended_.fill(0);
    waiting_.fill(false);
    woken_.fill(false);
    resumed_.fill(false);
  }
  // The number of the hold this event ends (1 for the first), or 0.
  int ends(const Event& event) {
    auto self = static_cast<std::size_t>(event.thread);
    bool afterWake = woken_[self];
    woken_[self] = event.call == Call::Wake;
    if (event.call == Call::Wait && event.mutex == lock_) waiting_[self] = true;
    if (event.call == Call::Lock && event.object == lock_) resumed_[self] = afterWake;
    if (event.call != Call::Unlock || event.object != lock_) return 0;
    if (waiting_[self] || (resumed_[self] && !countResumed_)) {
      waiting_[self] = false;
      return 0;
    }
    return ++ended_[self];
  }

 private:
  const void* lock_;
  bool countResumed_;
  std::array<int, kMaxThreads> ended_{};
  std::array<bool, kMaxThreads> waiting_{}, woken_{}, resumed_{};
};

}  // namespace istrazi::scheme
