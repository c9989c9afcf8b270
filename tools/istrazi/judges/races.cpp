#include "races.hpp"

#include <algorithm>

#include "where.hpp"

namespace istrazi {

void RaceDetector::reset() {
  ++run_;
  for (Clock& c : clocks_) c.fill(0);
  for (int t = 0; t < kMaxThreads; ++t) clocks_[static_cast<std::size_t>(t)][static_cast<std::size_t>(t)] = 1;
}

void RaceDetector::join(int thread, const Clock& from) {
  Clock& mine = clocks_[static_cast<std::size_t>(thread)];
  for (std::size_t i = 0; i < mine.size(); ++i) mine[i] = std::max(mine[i], from[i]);
}

bool RaceDetector::ordered(const Epoch& earlier, int thread) const {
  return earlier.time <= clocks_[static_cast<std::size_t>(thread)][static_cast<std::size_t>(earlier.thread)];
}

RaceDetector::Location& RaceDetector::location(uintptr_t address) {
  Location& at = locations_[address];
  if (at.run != run_) {
    at.run = run_;
    at.write = {};
    at.reads.clear();
  }
  return at;
}

namespace {
std::string describe(const char* kind, int thread, uintptr_t pc) {
  return threadName(thread) + " (" + kind + " at " + sourceLine(pc) + ")";
}
}  // namespace

std::string RaceDetector::access(const Event& event, bool write) {
  auto address = reinterpret_cast<uintptr_t>(event.object);
  Location& at = location(address);
  Epoch now{event.thread, clocks_[static_cast<std::size_t>(event.thread)][static_cast<std::size_t>(event.thread)],
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
  switch (event.call) {
    case Call::Read: return access(event, false);
    case Call::Write: return access(event, true);
    case Call::Lock: {
      auto it = lockClock_.find(event.object);
      if (it != lockClock_.end() && it->second.run == run_) join(event.thread, it->second.clock);
      break;
    }
    case Call::Unlock:
      lockClock_[event.object] = {run_, clocks_[self]};
      tick(event.thread);
      break;
    case Call::Broadcast:
      for (int t = 0; t < kMaxThreads; ++t)
        if (event.woke & bit(t)) wakeClock_[static_cast<std::size_t>(t)] = clocks_[self];
      tick(event.thread);
      break;
    case Call::Wake:
      if (!event.spurious) join(event.thread, wakeClock_[self]);
      break;
    case Call::Create:
      startClock_[static_cast<std::size_t>(event.other)] = clocks_[self];
      tick(event.thread);
      break;
    case Call::Start:
      if (event.thread != kMain) join(event.thread, startClock_[self]);
      break;
    case Call::End: endClock_[self] = clocks_[self]; break;
    case Call::Join: join(event.thread, endClock_[static_cast<std::size_t>(event.other)]); break;
    case Call::Wait:
    case Call::Print:
    case Call::Pause: break;
  }
  return {};
}

}  // namespace istrazi
