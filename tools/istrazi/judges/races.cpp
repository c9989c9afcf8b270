#include "races.hpp"

#include <algorithm>

#include "where.hpp"

namespace istrazi {

RaceDetector::RaceDetector() { clearClocks(kMaxThreads); }

// Threads from `width` up have not run, so their clocks are as fresh already.
void RaceDetector::reset() {
  clearClocks(static_cast<std::size_t>(state_.width));
  state_.width = 0;
  for (Released& r : state_.locks) r.ever = false;
  for (Location& l : state_.locations) {
    l.write = {};
    l.reads.clear();
  }
}

void RaceDetector::clearClocks(std::size_t upTo) {
  for (std::size_t t = 0; t < upTo; ++t) {
    state_.clocks[t].fill(0);
    state_.clocks[t][t] = 1;
    state_.startClock[t].fill(0);
    state_.endClock[t].fill(0);
    state_.wakeClock[t].fill(0);
  }
}

// Only the clocks of threads that have run differ from a fresh run's, so
// only theirs are copied.
void RaceDetector::copyClocks(const State& from, State& to) {
  to.width = from.width;
  auto width = static_cast<std::size_t>(from.width);
  std::copy_n(from.clocks.begin(), width, to.clocks.begin());
  std::copy_n(from.startClock.begin(), width, to.startClock.begin());
  std::copy_n(from.endClock.begin(), width, to.endClock.begin());
  std::copy_n(from.wakeClock.begin(), width, to.wakeClock.begin());
}

void RaceDetector::save(std::size_t slot) {
  if (saved_.size() <= slot) saved_.resize(slot + 1);
  State& into = saved_[slot];
  copyClocks(state_, into);
  into.locks = state_.locks;
  into.locations = state_.locations;
}

void RaceDetector::restore(std::size_t slot) {
  reset();
  const State& from = saved_[slot];
  copyClocks(from, state_);
  // Locks and locations first met after the save are as reset() left them.
  std::copy(from.locks.begin(), from.locks.end(), state_.locks.begin());
  std::copy(from.locations.begin(), from.locations.end(), state_.locations.begin());
}

void RaceDetector::join(int thread, const Clock& from) {
  Clock& mine = state_.clocks[static_cast<std::size_t>(thread)];
  for (std::size_t i = 0; i < mine.size(); ++i) mine[i] = std::max(mine[i], from[i]);
}

bool RaceDetector::ordered(const Epoch& earlier, int thread) const {
  return earlier.time <= state_.clocks[static_cast<std::size_t>(thread)][static_cast<std::size_t>(earlier.thread)];
}

RaceDetector::Location& RaceDetector::location(uintptr_t address) {
  auto [it, fresh] = locationIds_.try_emplace(address, state_.locations.size());
  if (fresh) state_.locations.emplace_back();
  return state_.locations[it->second];
}

RaceDetector::Released& RaceDetector::lock(const void* object) {
  auto [it, fresh] = lockIds_.try_emplace(object, state_.locks.size());
  if (fresh) state_.locks.emplace_back();
  return state_.locks[it->second];
}

namespace {
std::string describe(const char* kind, int thread, uintptr_t pc) {
  return threadName(thread) + " (" + kind + " at " + sourceLine(pc) + ")";
}
}  // namespace

std::string RaceDetector::access(const Event& event, bool write) {
  auto address = reinterpret_cast<uintptr_t>(event.object);
  Location& at = location(address);
  Epoch now{event.thread, state_.clocks[static_cast<std::size_t>(event.thread)][static_cast<std::size_t>(event.thread)],
            event.atomic, event.pc};
  auto races = [&](const Epoch& other) {
    return other.thread >= 0 && other.thread != event.thread && !(other.atomic && event.atomic) &&
           !ordered(other, event.thread);
  };
  auto report = [&](const Epoch& other, bool otherWrote) {
    return "data race on " + dataName(address, event.size) + ": " + describe(otherWrote ? "write" : "read", other.thread, other.pc) +
           " and " + describe(write ? "write" : "read", event.thread, event.pc) + " are not ordered";
  };
  if (races(at.write)) return report(at.write, true);
  if (write) {
    for (const Epoch& read : at.reads)
      if (races(read)) return report(read, false);
    at.write = now;
    at.reads.clear();
    return {};
  }
  auto mine = std::find_if(at.reads.begin(), at.reads.end(), [&](const Epoch& e) { return e.thread == event.thread; });
  if (mine != at.reads.end()) *mine = now;
  else at.reads.push_back(now);
  return {};
}

std::string RaceDetector::observe(const Event& event) {
  auto self = static_cast<std::size_t>(event.thread);
  seen(event.thread);
  switch (event.call) {
    case Call::Read: return access(event, false);
    case Call::Write: return access(event, true);
    case Call::Lock: {
      const Released& released = lock(event.object);
      if (released.ever) join(event.thread, released.clock);
      break;
    }
    case Call::Unlock:
      lock(event.object) = {true, state_.clocks[self]};
      tick(event.thread);
      break;
    case Call::Broadcast:
      for (int t = 0; t < kMaxThreads; ++t)
        if (event.woke & bit(t)) state_.wakeClock[static_cast<std::size_t>(t)] = state_.clocks[self];
      tick(event.thread);
      break;
    case Call::Wake:
      if (!event.spurious) join(event.thread, state_.wakeClock[self]);
      break;
    case Call::Create:
      seen(event.other);
      state_.startClock[static_cast<std::size_t>(event.other)] = state_.clocks[self];
      tick(event.thread);
      break;
    case Call::Start:
      if (event.thread != kMain) join(event.thread, state_.startClock[self]);
      break;
    case Call::End: state_.endClock[self] = state_.clocks[self]; break;
    case Call::Join: join(event.thread, state_.endClock[static_cast<std::size_t>(event.other)]); break;
    case Call::Wait:
    case Call::Print:
    case Call::Pause: break;
  }
  return {};
}

}  // namespace istrazi
