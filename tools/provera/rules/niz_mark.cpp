// niz-mark: ten workers over one lock and a deletion mark. A worker with a
// command prints its request line twice; after the second one it takes the
// lock and tests its argument against the length, once. A failed test ends it
// with a failure line. Otherwise a read fetches its slot later, under the lock,
// whatever the length has become; an append stores its value at the end; a
// deletion moves the elements above its index down and lowers the length, or,
// if a deletion beside it has shrunk the array below its index meanwhile,
// changes nothing and fails. Each prints its outcome after its step. Lines
// carry no execution phase, so the lines fix only a window for each worker's
// test and step: from its second request line to its outcome line.
//
// The rules: each outcome and each value read must be explained by some order
// of the tests and steps inside their windows. The mark only holds reads and
// deletions back; no line shows when it did, so the search does not model it
// (a trace checker cannot tell a read that waited from one that did not).
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "rules/rules.hpp"

namespace provera {
namespace {

// ---- Lines -------------------------------------------------------------------

// A worker prints its request line twice, then its outcome; a worker that
// draws the fourth code prints nothing at all.
std::vector<std::string_view> lifecycles(Command) { return {"RRS", "RRF"}; }

// ---- Values a read can show --------------------------------------------------

}  // namespace

// Elements only ever move down, one slot for each successful deletion, and the
// only values written are the initial 1 to 9 (value v starts at index v - 1)
// and appended arguments; a shift leaves a copy of a moved value behind, no
// lower than the value itself has come. With d successful deletions in the
// trace, a read of index a can therefore show v only if v is an initial value
// that started at most d slots above a, or some append's argument and a is at
// least 9 - d (an append stores at the length, which is at least 9 less the
// deletions before it, and moves down once for each one after it). Cheap, and
// it turns away most impossible values before any search.
bool nizMarkValueReachable(int index, int value, int deletions, const std::array<bool, 10>& appended) {
  bool initial = value >= 1 && value <= 9 && index <= value - 1 && value - 1 - index <= deletions;
  bool appendedThere = value >= 0 && value <= 9 && appended[value] && index >= 9 - deletions;
  return initial || appendedThere;
}

namespace {

void checkValuesRead(const Workers& workers, std::vector<Violation>& out) {
  std::array<bool, 10> appended{};
  int deletions = 0;
  for (const auto& [id, w] : workers) {
    if (w.command == Command::Append && w.succeeded()) appended[w.argument()] = true;
    deletions += w.command == Command::Delete && w.succeeded();
  }
  for (const auto& [id, w] : workers) {
    if (w.command != Command::Read || !w.succeeded()) continue;
    int a = w.argument(), v = *w.outcome()->value;
    if (!nizMarkValueReachable(a, v, deletions, appended))
      out.push_back({w.outcome()->number, {w.id},
                     "a read of index " + std::to_string(a) + " shows " + std::to_string(v) +
                         ", a value that is never at that index"});
  }
}

// ---- The order search -------------------------------------------------------
//
// A test, a fetch and a failing deletion's step only look at the array, and a
// look may happen at any moment of its window after the one before it, so it
// needs no place in the order: it is enough that some state its worker passed
// through since it arrived allowed it. Each worker therefore carries its
// progress, advanced whenever the state allows (more progress never hurts):
//   read that succeeded:   0 arrived, 1 length test passed, 2 fetched its value
//   any command that failed:          0 arrived, 2 saw the length at or below
//                                     its argument (its test, or a deletion's
//                                     step after a passed test, failed there)
//   append, deletion that succeeded:  0 arrived, 1 test passed, 2 changed
// Only the changes of appends and successful deletions are ordered, and only
// where it matters: a second request line adds a worker at once (arriving
// earlier only lets it see more), and an outcome line is passed as soon as its
// worker has made progress 2 (later changes would look the same to everyone
// still working). So the search branches only on which change comes next when
// an outcome line needs a change first.

constexpr int kSlots = 32;               // 9 elements and one append per worker fit
constexpr std::size_t kMaxActors = 10;   // niz-mark's workers
constexpr int kAnyValue = 15;            // a value no read still to fetch shows

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

// A state of the search, canonical: equal states have equal bytes. Slots hold
// values 0 to 9, or kAnyValue, four bits each.
struct State {
  std::array<std::uint64_t, 2> slots{};
  std::uint32_t progress = 0;  // two bits a worker
  std::uint8_t length = 9;
  std::uint8_t next = 0;       // the next milestone
  std::uint16_t pad = 0;

  int slot(int i) const { return static_cast<int>(slots[i / 16] >> (i % 16 * 4) & 15); }
  void setSlot(int i, int v) {
    std::uint64_t& word = slots[i / 16];
    word = (word & ~(std::uint64_t{15} << (i % 16 * 4))) | std::uint64_t(v) << (i % 16 * 4);
  }
  int of(std::size_t actor) const { return static_cast<int>(progress >> (2 * actor) & 3); }
  void set(std::size_t actor, int p) {
    progress = (progress & ~(3u << (2 * actor))) | static_cast<std::uint32_t>(p) << (2 * actor);
  }
  bool operator==(const State&) const = default;
};

struct StateHash {
  std::size_t operator()(const State& s) const {
    std::uint64_t h = s.slots[0] * 0x9E3779B97F4A7C15ull;
    h ^= (s.slots[1] + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
    h ^= (std::uint64_t(s.progress) << 16 | std::uint64_t(s.length) << 8 | s.next) * 0x165667B19E3779F9ull;
    return static_cast<std::size_t>(h ^ h >> 29);
  }
};

class Search {
 public:
  Search(std::vector<Actor> actors, std::vector<Milestone> milestones, long maxStates)
      : actors_(std::move(actors)), milestones_(std::move(milestones)), arrivalAt_(actors_.size()), maxStates_(maxStates) {
    for (std::size_t k = 0; k < milestones_.size(); ++k)
      if (milestones_[k].arrival) arrivalAt_[milestones_[k].actor] = k;
  }

  enum class Verdict { Explained, Unexplained, GaveUp };

  Verdict run() {
    State start;
    for (int i = 0; i < 9; ++i) start.setSlot(i, i + 1);
    if (explore(start)) return Verdict::Explained;
    return gaveUp_ ? Verdict::GaveUp : Verdict::Unexplained;
  }
  long states() const { return visited_; }
  const Milestone& stuckAt() const { return milestones_[furthest_]; }
  const Actor& actor(std::size_t i) const { return actors_[i]; }

 private:
  bool arrived(const State& s, std::size_t i) const { return arrivalAt_[i] < s.next; }
  bool working(const State& s, std::size_t i) const { return arrived(s, i) && s.of(i) < 2; }

  // Advances every working actor as far as the state allows.
  void advance(State& s) const {
    for (std::size_t i = 0; i < actors_.size(); ++i) {
      if (!working(s, i)) continue;
      const Actor& a = actors_[i];
      bool fits = a.argument < s.length;
      if (!a.success) {
        if (!fits) s.set(i, 2);
      } else if (s.of(i) == 0 && fits) {
        s.set(i, 1);
      }
      if (a.command == Command::Read && a.success && s.of(i) == 1 && s.slot(a.argument) == a.value) s.set(i, 2);
    }
  }

  // Passes every milestone that needs no change first.
  void passMilestones(State& s) const {
    while (s.next < milestones_.size()) {
      const Milestone& m = milestones_[s.next];
      if (!m.arrival && s.of(m.actor) != 2) return;
      ++s.next;
      if (m.arrival) advance(s);
    }
  }

  // Forgets what no one can look at any more. Only a fetch looks at a value,
  // and only to compare it with the value its read shows, so a value that no
  // read still to fetch shows is as good as any other: it becomes kAnyValue.
  // And a slot past the end matters only to a read that passed its test and
  // still fetches it: shifts read only live slots, and the length grows back
  // over a slot only by an append that overwrites it first.
  void canonical(State& s) const {
    std::uint32_t sought = 0;  // by value
    for (std::size_t k = 0; k < actors_.size(); ++k)
      if (actors_[k].command == Command::Read && actors_[k].success && s.of(k) < 2) sought |= 1u << actors_[k].value;
    for (int i = 0; i < kSlots; ++i) {
      bool fetched = i < s.length;
      for (std::size_t k = 0; k < actors_.size() && !fetched; ++k)
        fetched = actors_[k].command == Command::Read && actors_[k].argument == i && arrived(s, k) && s.of(k) == 1;
      int v = s.slot(i);
      if (!fetched) s.setSlot(i, kAnyValue);
      else if (v != kAnyValue && !(sought >> v & 1)) s.setSlot(i, kAnyValue);
    }
  }

  // The change of actor i, which has passed its test; false if it cannot be made now.
  bool change(State& s, std::size_t i) const {
    const Actor& a = actors_[i];
    if (a.command == Command::Append) {
      if (s.length >= kSlots) return false;
      s.setSlot(s.length++, a.argument);
    } else {
      if (a.argument >= s.length) return false;
      for (int j = a.argument; j < s.length - 1; ++j) s.setSlot(j, s.slot(j + 1));
      --s.length;
    }
    s.set(i, 2);
    advance(s);
    return true;
  }

  bool explore(State s) {
    passMilestones(s);
    if (s.next == milestones_.size()) return true;
    canonical(s);
    if (!seen_.insert(s).second) return false;
    if (++visited_ > maxStates_) {
      gaveUp_ = true;
      return false;
    }
    furthest_ = std::max<std::size_t>(furthest_, s.next);
    for (std::size_t i = 0; i < actors_.size() && !gaveUp_; ++i) {
      if (!working(s, i) || s.of(i) != 1 || actors_[i].command == Command::Read) continue;
      State t = s;
      if (change(t, i) && explore(t)) return true;
    }
    return false;
  }

  std::vector<Actor> actors_;
  std::vector<Milestone> milestones_;
  std::vector<std::size_t> arrivalAt_;  // each actor's arrival milestone
  std::unordered_set<State, StateHash> seen_;
  long maxStates_;
  std::size_t furthest_ = 0;
  long visited_ = 0;
  bool gaveUp_ = false;
};

void searchOrder(const Workers& workers, long maxStates, Report& report) {
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

  Search search(std::move(actors), std::move(milestones), maxStates);
  Search::Verdict verdict = search.run();
  report.searchStates += search.states();
  if (verdict == Search::Verdict::GaveUp) {
    report.incomplete = true;
    report.summary = "incomplete niz-mark check: the order search gave up after " + std::to_string(maxStates) +
                     " states; nothing is claimed about this trace";
  } else if (verdict == Search::Verdict::Unexplained) {
    const Milestone& stuck = search.stuckAt();
    report.violations.push_back({stuck.line, {search.actor(stuck.actor).id},
                                 "no order of the workers' length tests and changes explains this outcome"});
  }
}

void judge(const Workers& workers, const Scope& scope, Report& report) {
  std::size_t before = report.violations.size();
  checkValuesRead(workers, report.violations);
  if (report.violations.size() == before) searchOrder(workers, scope.maxSearchStates, report);
}

}  // namespace

const Rules kNizMarkRules{10, 9, false, lifecycles, nullptr, judge};

}  // namespace provera
