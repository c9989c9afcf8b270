// The search over the scheduler's choices: depth-first, one run per schedule,
// and, with the reduction, one run per class of equivalent schedules.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "istrazi.hpp"

namespace istrazi {

// Every distinct footprint once, by number, so that a step, a sleeper or a
// branch of a wake-up tree carries four bytes instead of a vector, and whether
// two footprints commute is worked out once and then looked up.
class FootprintTable {
 public:
  using Id = uint32_t;
  // A step not yet run, whose footprint is not known: it depends on everything.
  static constexpr Id kUnknown = ~Id{0};
  Id intern(const Footprint& footprint);
  std::span<const Touch> touches(Id id) const {
    return {touches_.data() + starts_[id], touches_.data() + starts_[id + 1]};
  }
  // Each key any footprint touches has a number too, 0 to keys() - 1, in the
  // order of the footprint's touches.
  std::span<const uint32_t> keyNumbers(Id id) const {
    return {keyNumbers_.data() + starts_[id], keyNumbers_.data() + starts_[id + 1]};
  }
  std::size_t keys() const { return keyOf_.size(); }
  bool dependent(Id a, Id b);

 private:
  bool compute(Id a, Id b) const;
  std::vector<Touch> touches_;
  std::vector<uint32_t> keyNumbers_;  // beside touches_
  std::unordered_map<uintptr_t, uint32_t> keyOf_;
  std::vector<uint32_t> starts_{0};  // footprint k is touches_[starts_[k], starts_[k + 1])
  std::vector<uint64_t> hashes_;
  std::vector<Id> slots_;  // open addressing: id + 1, 0 for free
  // Known relations, 0 unknown, 1 independent, 2 dependent; stride_ by stride_.
  std::vector<uint8_t> relation_;
  std::size_t stride_ = 0;
};

// Optimal dynamic partial-order reduction: source sets with wake-up trees.
//
// Two schedules are equivalent when one turns into the other by swapping
// adjacent independent steps (steps of different threads whose footprints
// share no key that one of them writes); they end in the same state and print
// the same trace. The search runs one schedule of each class.
//
// Every state on the current path keeps a wake-up tree: sequences of steps
// still to run from there, in order, the first branch being the one under way.
// A run replays the previous one up to the deepest state with a branch left
// (from a state saved on the way, see Checkpoints), takes that branch, follows the tree below it (first branch first), and past
// its leaves goes on freely among the threads that can run and do not sleep,
// keeping the thread that ran last where it can (fewer preemptions).
//
// After a run, every race with its second step among the steps not replayed
// is reversed. A race is a step e and a later step e' of another thread that
// conflict, where e is not already ordered before e' through the earlier steps
// of e''s thread (what else e' waited for does not count: two acquires of one
// lock race although a release orders them). The state before e gets the
// sequence v of the steps after e that do not happen after it, then e'. Unless
// a thread already explored or asleep there is a weak initial of v (its first
// step in v depends on nothing before it in v, or, with no step in v, its next
// step commutes with all of v: then that thread's exploration covers v), v is
// inserted into the state's wake-up tree: down the first branch whose thread is
// a weak initial of what is left of v (taking that thread's step out of it),
// stopping at a leaf, and as a new last branch where no branch fits.
//
// Races whose reversal could not run are left alone: e' follows a start, an
// end or a broadcast that v leaves out (a woken waiter would have to wake by
// itself instead; it can when its wake-up reads the condition, which the
// scheduler records while a spurious wake-up is still possible), or e' takes a
// lock that someone holds throughout v.
//
// Sleep sets as in plain partial-order reduction: a thread whose step from a
// state was explored sleeps in the states after it until a step that does not
// commute with it runs. A run that meets a state where every thread that can
// run sleeps is abandoned; with wake-up trees there should be none, and the
// search counts them.
//
// With a preemption bound, branches that would preempt a thread that can still
// run past the bound are not taken; the search is then complete only up to
// what the reduction finds within the bound.
//
// With compound steps (a whole critical section as one step), what a step
// touches, and where it ends, depends on the values it reads: the second step
// of a race, run before the first, may do something else. Its footprint in the
// sequence is then unknown, and taken as depending on everything, until the
// step runs there.
class Explorer : public Chooser {
 public:
  // How much the search skips. The weaker modes check the stronger ones: sleep
  // sets alone try every choice but skip reorderings of independent steps;
  // None tries every schedule.
  enum class Reduction { Dpor, SleepSets, None };
  explicit Explorer(int bound = -1, Reduction reduction = Reduction::Dpor, bool compoundSteps = false)
      : bound_(bound), reduction_(reduction), compoundSteps_(compoundSteps) {}

  int choose(int depth, Mask enabled) override;
  void taken(int depth, int thread, const Footprint& footprint) override;
  int replayed() const override { return static_cast<int>(replayUpTo_); }

  // After a run of `steps` steps: inserts what its races call for and
  // prepares the next run. False when the space is exhausted.
  bool next(int steps);

  // The preemptions in the first `steps` steps of the run just made.
  int preemptions(int steps) const;

  // Runs abandoned because every thread that could run slept.
  long sleepBlocked() const { return sleepBlocked_; }
  // Branches of a wake-up tree a run could not take: their thread could not
  // run there, or slept.
  long unfollowable() const { return unfollowable_; }

 private:
  using FootprintId = FootprintTable::Id;
  static constexpr int32_t kNone = -1;
  // One step of a wake-up tree: its thread, what the step touches, its first
  // continuation and the next alternative.
  struct Branch {
    int thread = 0;
    FootprintId footprint = 0;
    int32_t child = kNone;
    int32_t sibling = kNone;
  };
  struct Node {
    Mask enabled = 0;
    Mask asleep = 0;     // threads whose step from here is covered by an ancestor's exploration
    Mask done = 0;       // threads whose step from here has been explored
    Mask backtrack = 0;  // the weaker searches: threads to try from here
    int chosen = -1;
    int preemptions = 0;  // up to and including this node's choice
    FootprintId footprint = 0;  // of the chosen step
    int width = 1;              // threads 0 to width - 1 have run up to and including this step
    int32_t wakeup = kNone;     // the wake-up tree's first branch
    bool following = false;     // the step under way is that branch (else a free choice, not in the tree)
    std::array<FootprintId, kMaxThreads> next{};  // the step of each thread asleep or done here
  };
  using Clock = std::array<uint16_t, kMaxThreads>;

  bool preempts(int depth, int thread) const;
  bool pastBound(int depth, int thread) const;
  int preemptionsBefore(int depth) const;
  int followWakeup(int depth);
  int32_t newBranch(int thread, FootprintId footprint);
  void dropBranch(int32_t branch);
  void analyseRaces(int steps);
  bool reversible(int first, int lockTaker, int lockRelease, bool canWakeAlone) const;
  void reverse(int first, int second);
  void insert(Node& node);

  // The sequence v of a race being reversed, and what is left of it while it
  // is walked down a wake-up tree.
  bool weakInitial(int thread, FootprintId footprint);
  bool initialInSequence(std::size_t at) const;
  void removeFromSequence(std::size_t at);
  bool sequenceEmpty() const { return remaining_ == 0; }
  FootprintId inSequence(std::size_t at) const;

  int bound_;
  Reduction reduction_;
  bool compoundSteps_;
  std::vector<Node> stack_;
  std::size_t replayUpTo_ = 0;  // nodes below this are replayed as they are
  long sleepBlocked_ = 0;
  long unfollowable_ = 0;
  FootprintTable footprints_;
  std::vector<Branch> branches_;
  std::vector<int32_t> freeBranches_;

  // Race analysis, kept from run to run: what last touched each key (by its
  // number), and how each analysed step changed that.
  struct Last {
    int write = -1;          // the last step that wrote it
    int source = -1;         // the last step that was the source of its edge
    std::vector<int> reads;  // steps that read it since that write
  };
  struct Undo {
    uint32_t key;
    Access access;
    int previous;                // the write or source it replaced
    uint32_t savedFrom, savedTo;  // a write: the reads it cleared, in savedReads_
  };
  void rewindTo(std::size_t from);
  std::vector<Last> lasts_;
  std::size_t analysed_ = 0;  // the steps whose changes lasts_ holds
  std::vector<Undo> undo_;
  std::vector<uint32_t> undoStart_{0}, savedStart_{0};  // per step: where its changes start
  std::vector<int> savedReads_;
  std::vector<Clock> clocks_;
  int width_ = 1;  // the threads of the run analysed: 0 to width_ - 1
  std::vector<int> lockTakers_, lockReleases_;  // for a step that takes a lock: its last taker and release before
  std::vector<std::pair<int, int>> races_;
  std::vector<int> candidates_;
  std::vector<std::pair<int, bool>> bindings_;  // of the step analysed: source, and whether a wake-up

  // The sequence under reversal: its steps, the clock of each within it, which
  // are still left, and for each thread its first step left.
  std::vector<int> sequence_;
  std::vector<int> nextOfThread_;  // the same thread's next step in the sequence, or -1
  std::vector<uint8_t> removed_;
  std::array<int, kMaxThreads> firstOfThread_{};
  std::size_t remaining_ = 0;
  Clock lastClock_{};  // the clock of the sequence's last step, counting only what is in the sequence
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
