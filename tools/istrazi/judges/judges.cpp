#include "judges.hpp"

#include <algorithm>
#include <charconv>

#include "where.hpp"

namespace istrazi {

void Judges::reset() {
  races_.reset();
  broken_.clear();
  steps_ = 0;
  workers_.fill({});
  for (auto& locks : held_) locks.clear();
  started_.fill(false);
  ended_.fill(false);
  asleep_.fill(false);
  broadcasting_.fill(false);
  wakingSectionEnded_ = false;
}

void Judges::save(std::size_t slot) {
  races_.save(slot);
  saved_.save(slot, broken_, steps_, workers_, held_, started_, ended_, asleep_, broadcasting_, wakingSectionEnded_);
}

void Judges::restore(std::size_t slot) {
  races_.restore(slot);
  saved_.restore(slot, broken_, steps_, workers_, held_, started_, ended_, asleep_, broadcasting_, wakingSectionEnded_);
}

void Judges::observe(const Event& event) {
  auto self = static_cast<std::size_t>(event.thread);
  if (model.observe) model.observe(event);
  switch (event.call) {
    case Call::Start: started_[self] = true; break;
    case Call::End:
      ended_[self] = true;
      workers_[self].ended = steps_;
      break;
    case Call::Lock: held_[self].push_back(event.object); break;
    case Call::Unlock:
      std::erase(held_[self], event.object);
      wakingSectionEnded_ = wakingSectionEnded_ || broadcasting_[self];
      broadcasting_[self] = false;
      break;
    case Call::Wait: asleep_[self] = true; break;
    case Call::Wake: asleep_[self] = false; break;
    case Call::Broadcast:
      broadcasting_[self] = true;
      for (int t = 0; t < kMaxThreads; ++t)
        if (event.woke & bit(t)) asleep_[static_cast<std::size_t>(t)] = false;
      break;
    default: break;
  }
  if (broken_.empty()) broken_ = races_.observe(event);
}

namespace {

// The phase word a trace line starts with, in either of the programs' scripts.
enum class Phase { Other, Request, Success, Failure };
Phase phaseOf(std::string_view line) {
  std::string_view word = line.substr(0, line.find(':'));
  if (word == "ZAHTEV" || word == "ЗАХТЕВ") return Phase::Request;
  if (word == "USPEH" || word == "УСПЕХ") return Phase::Success;
  if (word == "NEUSPEH" || word == "НЕУСПЕХ") return Phase::Failure;
  return Phase::Other;
}

// The value a read's line shows ("... broj 7"), if it shows one.
std::optional<int> valueShown(std::string_view line) {
  std::size_t at = line.rfind(" broj ");
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view digits = line.substr(at + 6);
  while (!digits.empty() && digits.back() == '\n') digits.remove_suffix(1);
  int value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string Judges::stepDone(const StepView& step) {
  int now = steps_++;
  Worker& w = workers_[static_cast<std::size_t>(step.thread)];
  if (!step.printed.empty() && step.thread != kMain) {
    Phase phase = phaseOf(step.printed);
    if (phase == Phase::Request && w.requested < 0) w.requested = now;
    if (phase == Phase::Success || phase == Phase::Failure) {
      w.reported = now;
      w.success = phase == Phase::Success;
      w.value = valueShown(step.printed);
    }
  }
  if (broken_.empty() && model.scheme) broken_ = model.scheme(step);
  if (wakingSectionEnded_ && broken_.empty()) broken_ = lostWakeUp();
  wakingSectionEnded_ = false;
  return broken_;
}

// Once a thread's waking section is over, nobody may sleep on in a wait that
// would end now: no later broadcast is due to come for it.
std::string Judges::lostWakeUp() const {
  for (int t = 0; t < kMaxThreads; ++t)
    if (asleep_[static_cast<std::size_t>(t)] && wouldPassWait(t))
      return "lost wake-up: " + threadName(t) + " sleeps on although its wait would end now, and no broadcast is on its way to it";
  return {};
}

std::string Judges::endState() const {
  for (int t = 0; t < kMaxThreads; ++t) {
    auto i = static_cast<std::size_t>(t);
    if (!held_[i].empty()) return threadName(t) + " still holds a lock at the end";
    // main may end the process by returning, which is no thread end.
    if (t != kMain && started_[i] && !ended_[i])
      return threadName(t) + (asleep_[i] ? " still waits on a condition" : " has not finished") + " at the end";
  }
  return model.endState ? model.endState() : std::string();
}

std::string Judges::data() {
  // Every run comes here, so the buffers are kept from run to run.
  std::vector<linear::Operation>& operations = scratch_.operations;
  std::vector<const Participant*>& whose = scratch_.whose;  // beside operations
  operations.clear();
  whose.clear();
  for (const Participant& p : scenario_.participants) {
    const Worker& w = workers_[static_cast<std::size_t>(threadOf(p.worker))];
    linear::Operation op;
    model.command(p, op.command, op.argument);
    if (op.command == Command::None) continue;
    if (w.requested < 0 || w.reported < 0) return "worker " + std::to_string(p.worker) + " reported no outcome";
    op.requested = w.requested;
    op.reported = model.effectAfterOutcomeLine ? w.ended : w.reported;
    op.success = w.success;
    op.value = w.value;
    operations.push_back(op);
    whose.push_back(&p);
  }
  std::vector<int>& finalArray = scratch_.finalArray;
  finalArray.clear();
  std::string text = model.finalArray();
  for (const char *at = text.data(), *end = at + text.size(); at < end; ++at) {
    int value = 0;
    auto [next, error] = std::from_chars(at, end, value);
    if (error == std::errc()) finalArray.push_back(value);
    at = next;
  }
  // The verdict depends on the order of the intervals' ends, not on their
  // steps: most runs repeat a case judged already.
  std::vector<int>& ends = scratch_.ends;
  ends.clear();
  for (const linear::Operation& op : operations) ends.insert(ends.end(), {op.requested, op.reported});
  std::sort(ends.begin(), ends.end());
  auto rank = [&](int step) { return static_cast<int>(std::lower_bound(ends.begin(), ends.end(), step) - ends.begin()); };
  std::vector<int>& key = scratch_.key;
  key.clear();
  for (const linear::Operation& op : operations)
    key.insert(key.end(), {static_cast<int>(op.command), op.argument, rank(op.requested), rank(op.reported), op.success,
                           op.value.value_or(-1), op.value.has_value()});
  key.insert(key.end(), finalArray.begin(), finalArray.end());
  auto found = dataVerdicts_.find(key);
  if (found != dataVerdicts_.end()) return found->second;
  for (std::size_t i = 0; i < operations.size(); ++i)
    operations[i].who = "worker " + std::to_string(whose[i]->worker) + " " + whose[i]->label;
  return dataVerdicts_[key] = linear::check(operations, finalArray, model.appendNeedsValueBelowLength);
}

std::string Judges::finished(const RunResult&) {
  std::string broken = endState();
  if (broken.empty() && model.command) broken = data();
  return broken;
}

}  // namespace istrazi
