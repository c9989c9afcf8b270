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

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "istrazi.hpp"

namespace istrazi {

class RaceDetector {
 public:
  void reset();
  // What the event reveals: empty, or the race it completes.
  std::string observe(const Event& event);

 private:
  using Clock = std::array<uint32_t, kMaxThreads>;
  struct Epoch {
    int thread = -1;  // -1: none
    uint32_t time = 0;
    bool atomic = false;
    uintptr_t pc = 0;
  };
  struct Location {
    uint32_t run = 0;  // the run these entries belong to
    Epoch write;
    std::vector<Epoch> reads;  // at most one per thread
  };

  bool ordered(const Epoch& earlier, int thread) const;
  std::string access(const Event& event, bool write);
  Location& location(uintptr_t address);
  void tick(int thread) { ++clocks_[static_cast<std::size_t>(thread)][static_cast<std::size_t>(thread)]; }
  void join(int thread, const Clock& from);

  uint32_t run_ = 0;
  std::array<Clock, kMaxThreads> clocks_{};
  std::array<Clock, kMaxThreads> startClock_{}, endClock_{}, wakeClock_{};
  struct Released {
    uint32_t run = 0;  // the run `clock` belongs to
    Clock clock{};
  };
  std::unordered_map<const void*, Released> lockClock_;  // kept across runs, like the locations
  std::unordered_map<uintptr_t, Location> locations_;  // kept across runs: the addresses repeat
};

}  // namespace istrazi
