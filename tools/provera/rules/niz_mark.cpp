// niz-mark: every worker tests the length once, after its second request line,
// and (if the test passed) makes its change or fetch later, before its outcome
// line. The lines fix only windows for these steps, so this searches for an
// order of them that explains every outcome and every value read.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <unordered_set>

#include "rules/rules.hpp"

namespace provera {
namespace {

// A worker prints its request line twice, then its outcome; there is no
// execution line.
std::vector<std::string_view> lifecycles(Command) { return {"RRS", "RRF"}; }

constexpr int kSlots = 24;            // 9 elements plus one append per worker fit
constexpr std::size_t kMaxActors = 10;  // niz-mark's workers
constexpr long kMaxStates = 2000000;    // far beyond any real trace; past it nothing is claimed

struct Actor {
  long id;
  Command command;
  int argument;
  bool success;
  int value;  // a successful read's value
};

struct Milestone {
  int line;
  std::size_t actor;
  bool arrival;  // the second request line; otherwise the outcome line
};

enum Stage : std::uint8_t { kAway, kArrived, kPassed, kDone };

struct State {
  std::array<std::int8_t, kSlots> slots;
  std::int8_t length = 9;
  std::uint8_t next = 0;  // the next milestone
  std::array<Stage, kMaxActors> stage{};

  std::string key() const { return std::string(reinterpret_cast<const char*>(this), sizeof *this); }
};
static_assert(std::has_unique_object_representations_v<State>, "key() reads every byte");

class Search {
 public:
  Search(std::vector<Actor> actors, std::vector<Milestone> milestones)
      : actors_(std::move(actors)), milestones_(std::move(milestones)) {}

  // True when some order explains the trace, or when the search gave up.
  bool explains() {
    State start{};
    for (int i = 0; i < kSlots; ++i) start.slots[i] = static_cast<std::int8_t>(i < 9 ? i + 1 : 0);
    return explore(start) || gaveUp_;
  }
  const Milestone& stuckAt() const { return milestones_[furthest_]; }
  const Actor& actor(std::size_t i) const { return actors_[i]; }

 private:
  // Takes the actor's next step in `s`; false when that contradicts its outcome.
  bool step(State& s, std::size_t i) const {
    const Actor& a = actors_[i];
    if (s.stage[i] == kArrived) {
      bool passes = a.argument < s.length;
      // A read or append that passes succeeds; a deletion may still fail later.
      if (!passes && a.success) return false;
      if (passes && !a.success && a.command != Command::Delete) return false;
      s.stage[i] = passes ? kPassed : kDone;
      return true;
    }
    s.stage[i] = kDone;
    switch (a.command) {
      case Command::Read: return s.slots[a.argument] == a.value;
      case Command::Append:
        if (s.length >= kSlots) return false;
        s.slots[s.length++] = static_cast<std::int8_t>(a.argument);
        return true;
      default:
        if (a.argument >= s.length) return !a.success;
        if (!a.success) return false;
        for (int j = a.argument; j < s.length - 1; ++j) s.slots[j] = s.slots[j + 1];
        --s.length;
        return true;
    }
  }

  bool explore(const State& s) {
    if (s.next == milestones_.size()) return true;
    if (gaveUp_ || ++visited_ > kMaxStates) return !(gaveUp_ = true);
    std::string key = s.key();
    if (dead_.contains(key)) return false;
    furthest_ = std::max<std::size_t>(furthest_, s.next);

    for (std::size_t i = 0; i < actors_.size(); ++i) {
      if (s.stage[i] != kArrived && s.stage[i] != kPassed) continue;
      State t = s;
      if (step(t, i) && explore(t)) return true;
    }
    const Milestone& m = milestones_[s.next];
    if (m.arrival || s.stage[m.actor] == kDone) {
      State t = s;
      if (m.arrival) t.stage[m.actor] = kArrived;
      ++t.next;
      if (explore(t)) return true;
    }
    dead_.insert(std::move(key));
    return false;
  }

  std::vector<Actor> actors_;
  std::vector<Milestone> milestones_;
  std::unordered_set<std::string> dead_;
  std::size_t furthest_ = 0;
  long visited_ = 0;
  bool gaveUp_ = false;
};

void judge(const Workers& workers, Report& report) {
  std::vector<Violation>& violations = report.violations;
  std::vector<Actor> actors;
  std::vector<Milestone> milestones;
  for (const auto& [id, w] : workers) {
    if (actors.size() == kMaxActors) break;  // only workers 0 to 9 get this far
    const Line* outcome = w.outcome();
    actors.push_back({id, w.command, w.argument(), w.succeeded(), outcome->value.value_or(-1)});
    milestones.push_back({w.last(Phase::Request)->number, actors.size() - 1, true});
    milestones.push_back({outcome->number, actors.size() - 1, false});
  }
  std::sort(milestones.begin(), milestones.end(), [](const Milestone& a, const Milestone& b) { return a.line < b.line; });

  Search search(std::move(actors), std::move(milestones));
  if (search.explains()) return;
  const Milestone& stuck = search.stuckAt();
  violations.push_back({stuck.line, {search.actor(stuck.actor).id},
                        "no order of the workers' length tests and changes explains this outcome"});
}

}  // namespace

// Workers that draw the fourth code print nothing at all.
const Rules kNizMarkRules{10, 9, false, lifecycles, nullptr, judge};

}  // namespace provera
