// Data races: two accesses to one location by different threads, at least one
// of them a write and not both atomic, that no chain of synchronisation orders.
//
// Happens-before comes from the calls alone: an unlock to a later lock of the
// same lock, a broadcast to the wake-up it causes, thread creation to the new
// thread's start, a thread's end to its join. Prints order nothing, and neither
// does `mutexRand` (the scheduler reports no event for it), nor an atomic
// access: the programs' atomics are relaxed. Each thread keeps a vector clock;
// each location keeps its last write and the last read of every thread.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "istrazi.hpp"

namespace istrazi {

class RaceDetector {
 public:
  RaceDetector();
  void reset();
  // What the event reveals: empty, or the race it completes.
  std::string observe(const Event& event);
  // Keeps what it has seen of the run so far in `slot`, or takes it back.
  void save(std::size_t slot);
  void restore(std::size_t slot);

 private:
  using Clock = std::array<uint32_t, kMaxThreads>;
  struct Epoch {
    int thread = -1;  // -1: none
    uint32_t time = 0;
    bool atomic = false;
    uintptr_t pc = 0;
  };
  struct Location {
    Epoch write;
    std::vector<Epoch> reads;  // at most one per thread
  };
  struct Released {
    bool ever = false;  // released in this run
    Clock clock{};
  };
  // Everything the run has shown so far; threads from `width` up have not run.
  struct State {
    int width = 0;
    std::array<Clock, kMaxThreads> clocks{}, startClock{}, endClock{}, wakeClock{};
    std::vector<Released> locks;        // by lockIds_
    std::vector<Location> locations;    // by locationIds_
  };

  bool ordered(const Epoch& earlier, int thread) const;
  std::string access(const Event& event, bool write);
  Location& location(uintptr_t address);
  Released& lock(const void* object);
  void seen(int thread) { state_.width = std::max(state_.width, thread + 1); }
  void tick(int thread) { ++state_.clocks[static_cast<std::size_t>(thread)][static_cast<std::size_t>(thread)]; }
  void join(int thread, const Clock& from);
  void clearClocks(std::size_t upTo);
  static void copyClocks(const State& from, State& to);

  State state_;
  std::vector<State> saved_;
  // Numbers for the locks and locations met so far, kept across runs: they repeat.
  std::unordered_map<const void*, std::size_t> lockIds_;
  std::unordered_map<uintptr_t, std::size_t> locationIds_;
};

}  // namespace istrazi
