// The search over the scheduler's choices: depth-first, one run per schedule,
// skipping schedules equivalent to one already run.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "istrazi.hpp"

namespace istrazi {

// Dynamic partial-order reduction with sleep sets. Every run replays the
// choices of the previous one up to the deepest point that still has an
// untried choice, then goes on with the running thread where it can. After each
// run, every pair of steps of different threads that touch one address (one
// writing) and are not already ordered through other steps is a race: the
// state before the first of them gets a choice that lets the second's thread
// (or the first thread that starts the reordering) go first. Threads whose step
// from a state was already explored sleep there until a dependent step runs,
// so no two runs differ only in the order of independent steps.
//
// With a preemption bound, choices that would preempt a thread that can still
// run past the bound are not tried; the search is then complete only up to what
// the reduction finds within the bound.
class Explorer : public Chooser {
 public:
  // How much the search skips. The weaker modes check the stronger ones: sleep
  // sets alone try every choice but skip reorderings of independent steps;
  // None tries every schedule.
  enum class Reduction { Dpor, SleepSets, None };
  explicit Explorer(int bound = -1, Reduction reduction = Reduction::Dpor) : bound_(bound), reduction_(reduction) {}

  int choose(int depth, Mask enabled) override;
  void taken(int depth, int thread, const Footprint& footprint) override;

  // After a run of `steps` steps: adds the choices its races call for and
  // prepares the next run. False when the space is exhausted.
  bool next(int steps);

  // The preemptions in the first `steps` steps of the run just made.
  int preemptions(int steps) const;

 private:
  struct Sleeper {
    int thread;
    Footprint footprint;
  };
  struct Node {
    Mask enabled = 0;
    Mask backtrack = 0;
    Mask done = 0;
    int chosen = -1;
    int preemptions = 0;  // up to and including this node's choice
    Footprint footprint;  // of the chosen step
    std::vector<Sleeper> asleep;
    std::vector<Sleeper> explored;
    Mask sleepMask() const;
  };

  bool preempts(int depth, int thread) const;
  int preemptionsBefore(int depth) const;
  void analyseRaces(int steps);
  void addBacktrack(int first, int second);

  int bound_;
  Reduction reduction_;
  std::vector<Node> stack_;
  std::size_t replayUpTo_ = 0;  // nodes below this are replayed as they are
  // Race analysis, reused between runs: what last touched each key, in an
  // open-addressing table whose entries count only in the current generation.
  struct Last {
    uintptr_t key = 0;
    uint32_t generation = 0;
    int write = -1;          // the last step that wrote it
    int source = -1;         // the last step that was the source of its edge
    std::vector<int> reads;  // steps that read it since that write
  };
  Last& lastOf(uintptr_t key);
  std::vector<Last> table_;
  uint32_t generation_ = 0;
  std::size_t used_ = 0;  // entries of the current generation
  std::vector<std::array<uint16_t, kMaxThreads>> clocks_;
  std::vector<int> scratch_;
};

// Replays a fixed schedule.
class FixedSchedule : public Chooser {
 public:
  explicit FixedSchedule(std::vector<int> schedule) : schedule_(std::move(schedule)) {}
  int choose(int depth, Mask enabled) override;
  void taken(int, int, const Footprint&) override {}
  bool diverged() const { return diverged_; }

 private:
  std::vector<int> schedule_;
  bool diverged_ = false;
};

}  // namespace istrazi
