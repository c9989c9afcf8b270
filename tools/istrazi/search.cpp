// Optimal dynamic partial-order reduction over the scheduler's choices: source
// sets with wake-up trees, and sleep sets.
#include "search.hpp"

#include <algorithm>

namespace istrazi {

namespace {

uint64_t hashOf(const Footprint& footprint) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const Touch& touch : footprint) {
    hash ^= touch.key * 4 + static_cast<uint64_t>(touch.access);
    hash *= 0x100000001b3ull;
  }
  return hash ^ (hash >> 29);
}

template <typename Each>
void forEachThread(Mask mask, Each each) {
  for (; mask; mask &= mask - 1) each(__builtin_ctz(mask));
}

}  // namespace

// ---- Footprints ----------------------------------------------------------------

FootprintTable::Id FootprintTable::intern(const Footprint& footprint) {
  if (hashes_.size() * 2 >= slots_.size()) {  // keep probes short: double and reinsert
    slots_.assign(std::max<std::size_t>(256, slots_.size() * 2), 0);
    for (Id id = 0; id < hashes_.size(); ++id) {
      std::size_t mask = slots_.size() - 1;
      std::size_t at = hashes_[id] & mask;
      while (slots_[at] != 0) at = (at + 1) & mask;
      slots_[at] = id + 1;
    }
  }
  uint64_t hash = hashOf(footprint);
  std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    Id slot = slots_[at];
    if (slot == 0) {
      Id id = static_cast<Id>(hashes_.size());
      hashes_.push_back(hash);
      touches_.insert(touches_.end(), footprint.begin(), footprint.end());
      for (const Touch& touch : footprint)
        keyNumbers_.push_back(keyOf_.try_emplace(touch.key, static_cast<uint32_t>(keyOf_.size())).first->second);
      starts_.push_back(static_cast<uint32_t>(touches_.size()));
      slots_[at] = id + 1;
      return id;
    }
    Id id = slot - 1;
    std::span<const Touch> known = touches(id);
    if (hashes_[id] == hash && known.size() == footprint.size() &&
        std::equal(known.begin(), known.end(), footprint.begin(),
                   [](const Touch& a, const Touch& b) { return a.key == b.key && a.access == b.access; }))
      return id;
  }
}

bool FootprintTable::compute(Id a, Id b) const {
  for (const Touch& x : touches(a))
    for (const Touch& y : touches(b))
      if (conflicts(x, y)) return true;
  return false;
}

// Footprints are few (one per kind of step a program makes), so their
// relation is a small square that grows with them; past a size where that
// would cost too much memory, it is computed each time.
bool FootprintTable::dependent(Id a, Id b) {
  if (a == kUnknown || b == kUnknown) return true;
  constexpr std::size_t kMaxStride = 4096;
  std::size_t needed = std::max(a, b) + 1u;
  if (needed > stride_) {
    if (needed > kMaxStride) return compute(a, b);
    std::size_t stride = std::min(kMaxStride, std::max<std::size_t>(64, needed * 2));
    std::vector<uint8_t> grown(stride * stride, 0);
    for (std::size_t row = 0; row < stride_; ++row)
      std::copy_n(relation_.begin() + static_cast<std::ptrdiff_t>(row * stride_), stride_,
                  grown.begin() + static_cast<std::ptrdiff_t>(row * stride));
    relation_.swap(grown);
    stride_ = stride;
  }
  uint8_t& known = relation_[a * stride_ + b];
  if (known == 0) {
    known = compute(a, b) ? 2 : 1;
    relation_[b * stride_ + a] = known;
  }
  return known == 2;
}

// ---- Choosing ------------------------------------------------------------------

int Explorer::preemptionsBefore(int depth) const { return depth == 0 ? 0 : stack_[depth - 1].preemptions; }

// Switching away from the thread that ran the last step while it could go on.
bool Explorer::preempts(int depth, int thread) const {
  if (depth == 0) return false;
  int previous = stack_[depth - 1].chosen;
  return thread != previous && (stack_[depth].enabled & bit(previous));
}

bool Explorer::pastBound(int depth, int thread) const {
  return bound_ >= 0 && preempts(depth, thread) && preemptionsBefore(depth) >= bound_;
}

int32_t Explorer::newBranch(int thread, FootprintId footprint) {
  int32_t at;
  if (!freeBranches_.empty()) {
    at = freeBranches_.back();
    freeBranches_.pop_back();
  } else {
    at = static_cast<int32_t>(branches_.size());
    branches_.emplace_back();
  }
  branches_[static_cast<std::size_t>(at)] = {thread, footprint, kNone, kNone};
  return at;
}

// Frees a branch and everything below it (not its later siblings).
void Explorer::dropBranch(int32_t branch) {
  std::size_t from = freeBranches_.size();
  freeBranches_.push_back(branch);
  for (std::size_t k = from; k < freeBranches_.size(); ++k)
    for (int32_t c = branches_[static_cast<std::size_t>(freeBranches_[k])].child; c != kNone;
         c = branches_[static_cast<std::size_t>(c)].sibling)
      freeBranches_.push_back(c);
}

// The first branch of the node's wake-up tree that can be taken, dropping
// those that cannot; -1 when none is left.
int Explorer::followWakeup(int depth) {
  Node& node = stack_[static_cast<std::size_t>(depth)];
  while (node.wakeup != kNone) {
    const Branch& branch = branches_[static_cast<std::size_t>(node.wakeup)];
    bool runnable = (node.enabled & bit(branch.thread)) && !((node.asleep | node.done) & bit(branch.thread));
    if (runnable && !pastBound(depth, branch.thread)) return branch.thread;
    if (!runnable) ++unfollowable_;
    int32_t dropped = node.wakeup;
    node.wakeup = branch.sibling;
    dropBranch(dropped);
  }
  return -1;
}

int Explorer::choose(int depth, Mask enabled) {
  auto at = static_cast<std::size_t>(depth);
  if (at < stack_.size() && stack_[at].chosen >= 0) return stack_[at].chosen;  // replayed
  if (at == stack_.size()) stack_.emplace_back();  // only the very first run starts empty
  Node& node = stack_[at];
  node.enabled = enabled;
  if (reduction_ == Reduction::Dpor) {
    int pick = followWakeup(depth);
    node.following = pick >= 0;
    if (pick >= 0) return node.chosen = pick;
  }
  Mask free = enabled & ~node.asleep;
  if (free == 0) {  // every thread that can run sleeps: covered elsewhere
    ++sleepBlocked_;
    return -1;
  }
  int previous = depth > 0 ? stack_[at - 1].chosen : -1;
  int pick = previous >= 0 && (free & bit(previous)) ? previous : __builtin_ctz(free);
  if (pastBound(depth, pick)) return -1;
  // A free choice is the tree's one leaf here; it is left implicit, as the
  // insertions never go down the branch under way.
  node.chosen = pick;
  if (reduction_ != Reduction::Dpor) node.backtrack |= enabled;
  return pick;
}

void Explorer::taken(int depth, int thread, const Footprint& footprint) {
  auto at = static_cast<std::size_t>(depth);
  if (at < replayUpTo_) return;  // replayed: known already
  FootprintId id = footprints_.intern(footprint);
  stack_.resize(at + 1);
  stack_.emplace_back();  // the child, filled in place: nodes are large
  Node& node = stack_[at];
  Node& child = stack_[at + 1];
  node.footprint = id;
  node.preemptions = preemptionsBefore(depth) + (preempts(depth, thread) ? 1 : 0);
  node.width = std::max(depth > 0 ? stack_[at - 1].width : 1, thread + 1);
  // The child sleeps on every thread asleep or explored here whose step
  // commutes with the one just taken.
  if (reduction_ != Reduction::None)
    forEachThread((node.asleep | node.done) & ~bit(thread), [&](int q) {
      if (!footprints_.dependent(node.next[static_cast<std::size_t>(q)], id)) {
        child.asleep |= bit(q);
        child.next[static_cast<std::size_t>(q)] = node.next[static_cast<std::size_t>(q)];
      }
    });
  // The rest of the branch under way becomes the child's wake-up tree.
  if (node.following) {
    Branch& branch = branches_[static_cast<std::size_t>(node.wakeup)];
    branch.footprint = id;
    child.wakeup = branch.child;
    branch.child = kNone;
  }
}

int Explorer::preemptions(int steps) const { return steps == 0 ? 0 : stack_[static_cast<std::size_t>(steps) - 1].preemptions; }

// ---- Races -----------------------------------------------------------------------

// Takes lasts_ back to what it was before step `from`, undoing the later
// steps' changes last first: the next run replays the steps before `from`, so
// what they left there holds again.
void Explorer::rewindTo(std::size_t from) {
  for (std::size_t u = undo_.size(); u-- > undoStart_[from];) {
    const Undo& change = undo_[u];
    Last& l = lasts_[change.key];
    switch (change.access) {
      case Access::Read: l.reads.pop_back(); break;
      case Access::Write:
        l.write = change.previous;
        l.reads.assign(savedReads_.begin() + change.savedFrom, savedReads_.begin() + change.savedTo);
        break;
      case Access::HbSource: l.source = change.previous; break;
      case Access::HbSink: break;
    }
  }
  undo_.resize(undoStart_[from]);
  savedReads_.resize(savedStart_[from]);
  undoStart_.resize(from + 1);
  savedStart_.resize(from + 1);
}

// Vector clocks over the run: step j happens after step i when they are of one
// thread, or touch one key in an order that matters, or i is the source of an
// edge (a release, a broadcast, a start or an end) that j sinks. A race is a
// conflict of j with an earlier step of another thread that j's thread had
// not already seen before j: the clock before j's own sinks, so that two
// acquires of one lock race although the release between them orders them.
//
// The steps replayed from the previous run are as they were, and so are their
// clocks and what they left in the table: only the new steps are analysed.
void Explorer::analyseRaces(int steps) {
  auto from = std::min(replayUpTo_, analysed_);
  rewindTo(from);
  auto total = static_cast<std::size_t>(steps);
  clocks_.resize(total);
  lockTakers_.resize(total);
  lockReleases_.resize(total);
  races_.clear();
  std::array<int, kMaxThreads> lastStep;
  lastStep.fill(-1);
  Mask seen = 0;
  for (std::size_t j = from; j-- > 0;) {
    int t = stack_[j].chosen;
    if (seen & bit(t)) continue;
    seen |= bit(t);
    lastStep[static_cast<std::size_t>(t)] = static_cast<int>(j);
  }
  width_ = steps > 0 ? stack_[total - 1].width : 1;
  if (lasts_.size() < footprints_.keys()) lasts_.resize(footprints_.keys());
  for (auto j = static_cast<int>(from); j < steps; ++j) {
    const Node& node = stack_[static_cast<std::size_t>(j)];
    auto t = static_cast<std::size_t>(node.chosen);
    Clock clock{};
    if (lastStep[t] >= 0) clock = clocks_[static_cast<std::size_t>(lastStep[t])];
    ++clock[t];
    const Clock before = clock;
    candidates_.clear();
    auto join = [&](int i) {
      const Clock& other = clocks_[static_cast<std::size_t>(i)];
      for (std::size_t x = 0; x < kMaxThreads; ++x) clock[x] = std::max(clock[x], other[x]);
    };
    auto conflict = [&](int i) {
      auto it = static_cast<std::size_t>(stack_[static_cast<std::size_t>(i)].chosen);
      if (it == t) return;
      if (before[it] < clocks_[static_cast<std::size_t>(i)][it]) candidates_.push_back(i);
      join(i);
    };
    // What j needs of the steps before it, for whether a race is reversible:
    // the sources of its binding edges, and for a lock it takes, the last
    // taker and the last release.
    bindings_.clear();
    bool readsSomething = false;
    int lockTaker = -1, lockRelease = -1;
    // The key touched last and who wrote it before: a lock's edge follows
    // its take, or its pass, at once.
    uintptr_t lastKey = 0;
    int lastWriter = -1;
    std::span<const uint32_t> numbers = footprints_.keyNumbers(node.footprint);
    std::span<const Touch> touches = footprints_.touches(node.footprint);
    for (std::size_t k = 0; k < touches.size(); ++k) {
      const Touch& touch = touches[k];
      Last& l = lasts_[numbers[k]];
      Undo change{numbers[k], touch.access, -1, 0, 0};
      switch (touch.access) {
        case Access::Read:
          readsSomething = true;
          if (l.write >= 0) conflict(l.write);
          l.reads.push_back(j);
          lastKey = touch.key;
          lastWriter = l.write;
          break;
        case Access::Write:
          for (int r : l.reads) conflict(r);
          if (l.write >= 0) conflict(l.write);
          lastKey = touch.key;
          lastWriter = change.previous = l.write;
          change.savedFrom = static_cast<uint32_t>(savedReads_.size());
          savedReads_.insert(savedReads_.end(), l.reads.begin(), l.reads.end());
          change.savedTo = static_cast<uint32_t>(savedReads_.size());
          l.write = j;
          l.reads.clear();
          break;
        case Access::HbSource:
          change.previous = l.source;
          l.source = j;
          break;
        case Access::HbSink:
          if (l.source < 0 || l.source == j) break;
          join(l.source);
          if (bindingEdge(touch.key)) {
            bindings_.emplace_back(l.source, wakeEdge(touch.key));
          } else if (touch.key == lastKey + 1) {  // the edge of the lock just taken or passed
            lockTaker = lastWriter;
            lockRelease = l.source;
          }
          break;
      }
      if (touch.access != Access::HbSink) undo_.push_back(change);
    }
    undoStart_.push_back(static_cast<uint32_t>(undo_.size()));
    savedStart_.push_back(static_cast<uint32_t>(savedReads_.size()));
    lockTakers_[static_cast<std::size_t>(j)] = lockTaker;
    lockReleases_[static_cast<std::size_t>(j)] = lockRelease;
    if (!candidates_.empty()) {
      std::sort(candidates_.begin(), candidates_.end());
      candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
      for (int i : candidates_)
        if (reversible(i, lockTaker, lockRelease, readsSomething)) races_.emplace_back(i, j);
    }
    clocks_[static_cast<std::size_t>(j)] = clock;
    lastStep[t] = j;
  }
  analysed_ = total;
  for (auto [first, second] : races_) reverse(first, second);
}

// Whether the step whose needs analyseRaces just gathered could run before
// `first`, after only the steps that do not happen after `first`. Its binding
// edges must come from steps before `first` or among those: a wake-up whose
// broadcast would be missing can only be a spurious one, which a waiter that
// could not have woken by itself (it reads nothing then) cannot make. The lock
// it takes must be free there: not held at `first` by a release left out.
bool Explorer::reversible(int first, int lockTaker, int lockRelease, bool canWakeAlone) const {
  auto tf = static_cast<std::size_t>(stack_[static_cast<std::size_t>(first)].chosen);
  uint16_t position = clocks_[static_cast<std::size_t>(first)][tf];
  auto leftOut = [&](int step) {
    return step >= first && (step == first || clocks_[static_cast<std::size_t>(step)][tf] >= position);
  };
  for (auto [source, wake] : bindings_)
    if (leftOut(source) && !(wake && canWakeAlone)) return false;
  // Back along the lock's takers since `first`: the last one kept must have
  // its release kept; with none kept, whoever held it at `first` must release
  // it among the steps kept.
  for (int taker = lockTaker, release = lockRelease; release >= 0;) {
    if (taker < first) return !leftOut(release);
    if (!leftOut(taker)) return !leftOut(release);
    release = lockReleases_[static_cast<std::size_t>(taker)];
    taker = lockTakers_[static_cast<std::size_t>(taker)];
  }
  return true;
}

// The race of step `first` with the later step `second` is reversed by
// running, from the state before `first`, the steps after it that do not
// happen after it and then `second`.
void Explorer::reverse(int first, int second) {
  auto threadOf = [&](int step) { return stack_[static_cast<std::size_t>(step)].chosen; };
  auto clockOf = [&](int step) -> const Clock& { return clocks_[static_cast<std::size_t>(step)]; };
  auto tf = static_cast<std::size_t>(threadOf(first));
  uint16_t firstPosition = clockOf(first)[tf];
  sequence_.clear();
  for (int k = first + 1; k < second; ++k)
    if (clockOf(k)[tf] < firstPosition) sequence_.push_back(k);
  sequence_.push_back(second);
  // Within the sequence, `second` depends only on what it conflicts with
  // there (and on what that depends on): not on the steps after `first` that
  // ordered the two in the run.
  int ts = threadOf(second);
  FootprintId fs = inSequence(sequence_.size() - 1);
  lastClock_ = {};
  for (std::size_t k = 0; k + 1 < sequence_.size(); ++k) {
    const Node& other = stack_[static_cast<std::size_t>(sequence_[k])];
    if (other.chosen == ts || footprints_.dependent(other.footprint, fs)) {
      const Clock& c = clockOf(sequence_[k]);
      for (std::size_t x = 0; x < static_cast<std::size_t>(width_); ++x) lastClock_[x] = std::max(lastClock_[x], c[x]);
    }
  }
  std::size_t n = sequence_.size();
  firstOfThread_.fill(-1);
  nextOfThread_.assign(n, -1);
  removed_.assign(n, 0);
  for (std::size_t k = n; k-- > 0;) {
    auto t = static_cast<std::size_t>(threadOf(sequence_[k]));
    nextOfThread_[k] = firstOfThread_[t];
    firstOfThread_[t] = static_cast<int>(k);
  }
  remaining_ = n;

  Node& node = stack_[static_cast<std::size_t>(first)];
  bool covered = false;
  forEachThread(node.asleep | node.done, [&](int q) {
    covered = covered || weakInitial(q, node.next[static_cast<std::size_t>(q)]);
  });
  if (!covered) insert(node);
}

// Whether the step at `at` of the sequence depends on no step left before it.
bool Explorer::initialInSequence(std::size_t at) const {
  const Clock& clock = at + 1 == sequence_.size() ? lastClock_ : clocks_[static_cast<std::size_t>(sequence_[at])];
  int self = stack_[static_cast<std::size_t>(sequence_[at])].chosen;
  for (int u = 0; u < width_; ++u) {
    int f = firstOfThread_[static_cast<std::size_t>(u)];
    if (u == self || f < 0 || static_cast<std::size_t>(f) >= at) continue;
    auto fu = static_cast<std::size_t>(u);
    if (clock[fu] >= clocks_[static_cast<std::size_t>(sequence_[static_cast<std::size_t>(f)])][fu]) return false;
  }
  return true;
}

// A weak initial of what is left of the sequence: a thread whose first step
// in it depends on nothing before it, or, with no step in it, whose next step
// (`footprint`) commutes with all of it.
bool Explorer::weakInitial(int thread, FootprintId footprint) {
  int f = firstOfThread_[static_cast<std::size_t>(thread)];
  std::size_t last = sequence_.size() - 1;
  // With compound steps, where the thread's one step left is the race's
  // second, whose footprint is unknown, the step the thread takes here, when
  // known, is that step as long as it commutes with the rest.
  bool lastOnly = compoundSteps_ && f >= 0 && static_cast<std::size_t>(f) == last && footprint != FootprintTable::kUnknown;
  if (f >= 0 && !lastOnly) return initialInSequence(static_cast<std::size_t>(f));
  for (std::size_t k = 0; k < sequence_.size(); ++k)
    if (!removed_[k] && !(lastOnly && k == last) && footprints_.dependent(footprint, inSequence(k)))
      return false;
  return true;
}

// The footprint of the sequence's step at `at`: as run, but the race's second
// step's is unknown with compound steps.
Explorer::FootprintId Explorer::inSequence(std::size_t at) const {
  if (compoundSteps_ && at + 1 == sequence_.size()) return FootprintTable::kUnknown;
  return stack_[static_cast<std::size_t>(sequence_[at])].footprint;
}

void Explorer::removeFromSequence(std::size_t at) {
  removed_[at] = 1;
  --remaining_;
  auto t = static_cast<std::size_t>(stack_[static_cast<std::size_t>(sequence_[at])].chosen);
  firstOfThread_[t] = nextOfThread_[at];
}

// Walks the sequence down the node's wake-up tree: into the first branch whose
// thread is a weak initial of what is left (taking that thread's step out of
// it); a leaf reached means a run already under way or to come covers it;
// otherwise what is left becomes the last branch where no branch fits.
void Explorer::insert(Node& node) {
  int32_t parent = kNone;  // kNone: the node's own list
  for (;;) {
    if (sequenceEmpty()) return;
    int32_t b = parent == kNone ? node.wakeup : branches_[static_cast<std::size_t>(parent)].child;
    int32_t last = kNone;
    bool descended = false;
    for (; b != kNone; last = b, b = branches_[static_cast<std::size_t>(b)].sibling) {
      Branch branch = branches_[static_cast<std::size_t>(b)];
      if (!weakInitial(branch.thread, branch.footprint)) continue;
      int f = firstOfThread_[static_cast<std::size_t>(branch.thread)];
      if (f >= 0) removeFromSequence(static_cast<std::size_t>(f));
      if (branch.child == kNone) return;
      parent = b;
      descended = true;
      break;
    }
    if (descended) continue;
    int32_t head = kNone, tail = kNone;
    for (std::size_t k = 0; k < sequence_.size(); ++k) {
      if (removed_[k]) continue;
      const Node& step = stack_[static_cast<std::size_t>(sequence_[k])];
      int32_t added = newBranch(step.chosen, inSequence(k));
      if (head == kNone) head = added;
      else branches_[static_cast<std::size_t>(tail)].child = added;
      tail = added;
    }
    if (last != kNone) branches_[static_cast<std::size_t>(last)].sibling = head;
    else if (parent != kNone) branches_[static_cast<std::size_t>(parent)].child = head;
    else node.wakeup = head;
    return;
  }
}

// ---- Backtracking -----------------------------------------------------------------

bool Explorer::next(int steps) {
  if (reduction_ == Reduction::Dpor) analyseRaces(steps);
  for (std::size_t d = static_cast<std::size_t>(steps); d < stack_.size(); ++d)
    if (stack_[d].wakeup != kNone) {
      for (int32_t b = stack_[d].wakeup; b != kNone;) {
        int32_t sibling = branches_[static_cast<std::size_t>(b)].sibling;
        dropBranch(b);
        b = sibling;
      }
    }
  stack_.resize(static_cast<std::size_t>(steps));
  while (!stack_.empty()) {
    std::size_t d = stack_.size() - 1;
    Node& node = stack_[d];
    if (node.chosen >= 0 && !(node.done & bit(node.chosen))) {
      node.done |= bit(node.chosen);
      node.next[static_cast<std::size_t>(node.chosen)] = node.footprint;
      if (node.following) {  // the branch just explored; what was below it is used up
        node.following = false;
        int32_t explored = node.wakeup;
        node.wakeup = branches_[static_cast<std::size_t>(explored)].sibling;
        dropBranch(explored);
      }
    }
    if (reduction_ == Reduction::Dpor) {
      if (followWakeup(static_cast<int>(d)) >= 0) {
        node.following = true;
        node.chosen = branches_[static_cast<std::size_t>(node.wakeup)].thread;
        replayUpTo_ = d;
        return true;
      }
    } else {
      Mask candidates = node.backtrack & node.enabled & ~node.done & ~node.asleep;
      for (; candidates; candidates &= candidates - 1) {
        int thread = __builtin_ctz(candidates);
        if (pastBound(static_cast<int>(d), thread)) {
          node.backtrack &= ~bit(thread);  // out of bounds: never tried
          continue;
        }
        node.chosen = thread;
        replayUpTo_ = d;
        return true;
      }
    }
    stack_.pop_back();
  }
  return false;
}

int FixedSchedule::choose(int depth, Mask enabled) {
  auto at = static_cast<std::size_t>(depth);
  if (at >= schedule_.size() || !(enabled & bit(schedule_[at]))) {
    diverged_ = true;
    return -1;
  }
  return schedule_[at];
}

}  // namespace istrazi
