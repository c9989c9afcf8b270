// Dynamic partial-order reduction with sleep sets over the scheduler's choices.
#include "search.hpp"

#include <algorithm>

namespace istrazi {

Mask Explorer::Node::sleepMask() const {
  Mask mask = 0;
  for (const Sleeper& s : asleep) mask |= bit(s.thread);
  return mask;
}

int Explorer::preemptionsBefore(int depth) const { return depth == 0 ? 0 : stack_[depth - 1].preemptions; }

// Switching away from the thread that ran the last step while it could go on.
bool Explorer::preempts(int depth, int thread) const {
  if (depth == 0) return false;
  int previous = stack_[depth - 1].chosen;
  return thread != previous && (stack_[depth].enabled & bit(previous));
}

int Explorer::choose(int depth, Mask enabled) {
  auto at = static_cast<std::size_t>(depth);
  if (at < stack_.size() && stack_[at].chosen >= 0) return stack_[at].chosen;  // replayed
  if (at == stack_.size()) stack_.emplace_back();  // only the very first run starts empty
  Node& node = stack_[at];
  node.enabled = enabled;
  Mask free = enabled & ~node.sleepMask();
  if (free == 0) return -1;  // every thread that can run sleeps: covered elsewhere
  int previous = depth > 0 ? stack_[at - 1].chosen : -1;
  int pick = previous >= 0 && (free & bit(previous)) ? previous : __builtin_ctz(free);
  if (bound_ >= 0 && preempts(depth, pick) && preemptionsBefore(depth) >= bound_) return -1;
  node.chosen = pick;
  node.backtrack |= reduction_ == Reduction::Dpor ? bit(pick) : enabled;
  return pick;
}

void Explorer::taken(int depth, int thread, const Footprint& footprint) {
  auto at = static_cast<std::size_t>(depth);
  Node& node = stack_[at];
  if (at < replayUpTo_) return;  // replayed: known already
  node.footprint = footprint;
  node.preemptions = preemptionsBefore(depth) + (preempts(depth, thread) ? 1 : 0);
  // The child sleeps on every thread asleep or explored here whose step
  // commutes with the one just taken.
  Node child;
  if (reduction_ != Reduction::None)
    for (const std::vector<Sleeper>* list : {&node.asleep, &node.explored})
    for (const Sleeper& s : *list)
        if (s.thread != thread && !dependent(s.footprint, footprint)) child.asleep.push_back(s);
  stack_.resize(at + 1);
  stack_.push_back(std::move(child));
}

int Explorer::preemptions(int steps) const { return steps == 0 ? 0 : stack_[static_cast<std::size_t>(steps) - 1].preemptions; }

// The race of step `first` with the later step `second` is reversed by running,
// at the state before `first`, a thread that starts the steps after `first` that
// do not depend on it, followed by `second`: one of their initials (a step with no
// earlier one among them before it). One initial there already is enough.
void Explorer::addBacktrack(int first, int second) {
  auto clockOf = [&](int step) -> const std::array<uint16_t, kMaxThreads>& {
    return clocks_[static_cast<std::size_t>(step)];
  };
  auto threadOf = [&](int step) { return static_cast<std::size_t>(stack_[static_cast<std::size_t>(step)].chosen); };
  auto happensBefore = [&](int a, int b) { return clockOf(b)[threadOf(a)] >= clockOf(a)[threadOf(a)]; };
  Node& node = stack_[static_cast<std::size_t>(first)];
  uint16_t firstPos = clockOf(first)[threadOf(first)];
  std::vector<int>& later = scratch_;
  later.clear();
  Mask initials = 0;
  for (int k = first + 1; k <= second; ++k) {
    if (k < second && clockOf(k)[threadOf(first)] >= firstPos) continue;  // depends on `first`
    bool initial = true;
    for (int earlier : later)
      if (happensBefore(earlier, k)) {
        initial = false;
        break;
      }
    later.push_back(k);
    if (!initial) continue;
    Mask thread = bit(static_cast<int>(threadOf(k)));
    if (node.backtrack & thread) return;
    initials |= thread;
  }
  Mask enabled = initials & node.enabled;
  if (enabled)
    node.backtrack |= enabled & (~enabled + 1);  // the lowest will do
  else
    node.backtrack |= node.enabled;
}

Explorer::Last& Explorer::lastOf(uintptr_t key) {
  if (used_ * 2 >= table_.size()) {  // keep probes short: double and reinsert
    std::vector<Last> old(std::max<std::size_t>(1024, table_.size() * 2));
    old.swap(table_);
    used_ = 0;
    for (Last& entry : old)
      if (entry.generation == generation_) lastOf(entry.key) = std::move(entry);
  }
  std::size_t mask = table_.size() - 1;
  for (std::size_t at = (key * 0x9E3779B97F4A7C15ull) >> 32 & mask;; at = (at + 1) & mask) {
    Last& entry = table_[at];
    if (entry.generation != generation_) {
      entry.key = key;
      entry.generation = generation_;
      entry.write = entry.source = -1;
      entry.reads.clear();
      ++used_;
      return entry;
    }
    if (entry.key == key) return entry;
  }
}

// Vector clocks over the run: step j happens after step i when they are of one
// thread, or touch one key in an order that matters, or i is the source of an
// edge (a release, a broadcast, a start or an end) that j sinks.
void Explorer::analyseRaces(int steps) {
  ++generation_;
  used_ = 0;
  clocks_.assign(static_cast<std::size_t>(steps), {});
  std::array<int, kMaxThreads> lastStep;
  lastStep.fill(-1);
  std::array<uint16_t, kMaxThreads> count{};
  for (int j = 0; j < steps; ++j) {
    const Node& node = stack_[static_cast<std::size_t>(j)];
    auto t = static_cast<std::size_t>(node.chosen);
    std::array<uint16_t, kMaxThreads> clock{};
    if (lastStep[t] >= 0) clock = clocks_[static_cast<std::size_t>(lastStep[t])];
    clock[t] = ++count[t];
    const std::array<uint16_t, kMaxThreads> before = clock;
    auto join = [&](int i) {
      const auto& other = clocks_[static_cast<std::size_t>(i)];
      for (std::size_t x = 0; x < kMaxThreads; ++x)
        if (other[x] > clock[x]) clock[x] = other[x];
    };
    auto conflict = [&](int i) {
      auto it = static_cast<std::size_t>(stack_[static_cast<std::size_t>(i)].chosen);
      if (it == t) return;
      if (before[it] < clocks_[static_cast<std::size_t>(i)][it] && j > static_cast<int>(replayUpTo_) - 1)
        addBacktrack(i, j);
      join(i);
    };
    for (const Touch& touch : node.footprint) {
      Last& l = lastOf(touch.key);
      switch (touch.access) {
        case Access::Read:
          if (l.write >= 0) conflict(l.write);
          l.reads.push_back(j);
          break;
        case Access::Write:
          for (int r : l.reads) conflict(r);
          if (l.write >= 0) conflict(l.write);
          l.write = j;
          l.reads.clear();
          break;
        case Access::HbSource: l.source = j; break;
        case Access::HbSink:
          if (l.source >= 0 && l.source != j) join(l.source);
          break;
      }
    }
    clocks_[static_cast<std::size_t>(j)] = clock;
    lastStep[t] = j;
  }
}

bool Explorer::next(int steps) {
  if (reduction_ == Reduction::Dpor) analyseRaces(steps);
  stack_.resize(static_cast<std::size_t>(steps));
  while (!stack_.empty()) {
    std::size_t d = stack_.size() - 1;
    Node& node = stack_[d];
    if (node.chosen >= 0 && !(node.done & bit(node.chosen))) {
      node.done |= bit(node.chosen);
      node.explored.push_back({node.chosen, node.footprint});
    }
    Mask candidates = node.backtrack & node.enabled & ~node.done & ~node.sleepMask();
    while (candidates) {
      int thread = __builtin_ctz(candidates);
      candidates &= candidates - 1;
      if (bound_ >= 0 && preempts(static_cast<int>(d), thread) && preemptionsBefore(static_cast<int>(d)) >= bound_) {
        node.done |= bit(thread);  // out of bounds: never tried
        continue;
      }
      node.chosen = thread;
      node.footprint.clear();
      replayUpTo_ = d;
      return true;
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
