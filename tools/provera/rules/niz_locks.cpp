// niz-locks: twenty workers with one lock per element. A read whose index is
// past the end fails at once; otherwise it passes its element's lock, prints
// its execution line, passes it again and succeeds. Appends and deletions are
// admitted one at a time, print their execution line, retake their range,
// change the array and stop being counted, then keep their range through their
// last pause and outcome line. A deletion lowers the count only after its
// success line.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_set>

#include "rules/rules.hpp"

namespace provera {
namespace {

// ---- Lines -------------------------------------------------------------------

// A read past the end prints no execution line; an append has no failure.
std::vector<std::string_view> lifecycles(Command command) {
  if (command == Command::Read) return {"RF", "RXS"};
  if (command == Command::Append) return {"RXS"};
  return {"RXS", "RXF"};
}

// ---- Bounds on the count from the order of lines ---------------------------

// An append stores between its execution and outcome lines; a deletion lowers
// the count after its success line.
int appendsEndedBefore(const Workers& all, int line) {
  int n = 0;
  for (const auto& [id, w] : all) n += w.command == Command::Append && w.outcome()->number < line;
  return n;
}
int appendsStartedBefore(const Workers& all, int line) {
  int n = 0;
  for (const auto& [id, w] : all) n += w.command == Command::Append && w.execution()->number < line;
  return n;
}
int deletionsSucceededBefore(const Workers& all, int line) {
  int n = 0;
  for (const auto& [id, w] : all) n += w.command == Command::Delete && w.succeeded() && w.outcome()->number < line;
  return n;
}

// The least the count can have been when append `a` retook its range, after
// its execution line. Appends that ended before that line had stored. A
// deletion that lowered the count before the retake printed its success line
// before a's execution line: a was admitted holding every live element and
// with no deletion counted, so never while a successful deletion was counted
// or held its range; and a deletion admitted after a is admitted only after
// a's store, which follows the retake.
int leastAtRetake(const Workers& all, const Worker& a) {
  int line = a.execution()->number;
  return 9 + appendsEndedBefore(all, line) - deletionsSucceededBefore(all, line);
}

// ---- Admission ---------------------------------------------------------------

// Writers are admitted one at a time; a second writer can be admitted only
// during the first one's last pause, and only if its range does not meet the
// range the first one still holds.
std::string pairRule(const Worker& a, const Worker& b, const Workers& all) {
  if (a.command == Command::Read || b.command == Command::Read) return "";
  if (a.command == Command::Delete && b.command == Command::Append)
    return "an append was admitted while a deletion was working";
  if (a.command == Command::Delete && b.command == Command::Delete) {
    if (!a.succeeded()) return "a deletion was admitted while a failing deletion was working";
    if (b.succeeded())
      return "a deletion admitted during another's last pause succeeded; only one past the end can be admitted then, and it fails";
  }
  if (a.command == Command::Append && b.command == Command::Append) {
    // The second is admitted only after the first stored, and must then take
    // every live element's lock: together only if the first retook an empty
    // range, so the array was empty then.
    int least = leastAtRetake(all, a);
    if (least > 0) return "two appends ran at once although the array held at least " + std::to_string(least) + " elements";
  }
  return "";
}

// ---- Data --------------------------------------------------------------------

// A successful deletion found a live element, so the count cannot have reached
// 0 by then.
void boundCount(const Workers& workers, std::vector<Violation>& out) {
  for (const auto& [id, w] : workers) {
    if (w.command != Command::Delete || !w.succeeded()) continue;
    int most = 9 + appendsStartedBefore(workers, w.outcome()->number) -
               deletionsSucceededBefore(workers, w.execution()->number);
    if (most < 1)
      out.push_back({w.outcome()->number, {w.id}, "a deletion succeeded although the array was empty"});
  }
}

// An index is drawn below the count as read at that moment (on an empty
// array it is 0, past the end), and only a successful deletion lowers the
// count, after its success line. So a read or deletion that finds its index
// past the end, and prints a failure line, does so after some successful
// deletion's success line.
void failuresFollowAShrink(const Workers& workers, std::vector<Violation>& out) {
  int firstShrink = std::numeric_limits<int>::max();
  for (const auto& [id, w] : workers)
    if (w.command == Command::Delete && w.succeeded()) firstShrink = std::min(firstShrink, w.outcome()->number);
  for (const auto& [id, w] : workers)
    if (!w.succeeded() && w.outcome()->number < firstShrink)
      out.push_back({w.outcome()->number, {w.id},
                     withArticle(w.command) + " failed before any deletion had succeeded; an index is drawn below "
                                              "the count, and only a successful deletion lowers it"});
}

// An append holds the locks of every element live before its store from its
// retake to after its outcome line, and is counted until its store, so a
// deletion whose execution line falls inside its window was admitted after the
// store with a range above those elements: if the array was not empty at the
// retake, only the deletion of the slot the append just filled can succeed.
// Once it has, the count is back where the append found it, and only another
// append could raise it, which cannot take the locks the first one holds.
void oneDeletionPerAppend(const Workers& workers, std::vector<Violation>& out) {
  for (const auto& [id, a] : workers) {
    if (a.command != Command::Append || leastAtRetake(workers, a) <= 0) continue;
    int from = a.execution()->number, to = a.outcome()->number;
    std::vector<const Worker*> inside;
    for (const auto& [other, d] : workers)
      if (d.command == Command::Delete && d.succeeded() && d.execution()->number > from && d.execution()->number < to)
        inside.push_back(&d);
    std::sort(inside.begin(), inside.end(),
              [](const Worker* x, const Worker* y) { return x->execution()->number < y->execution()->number; });
    if (inside.size() > 1)
      out.push_back({inside[1]->outcome()->number, {a.id, inside[0]->id, inside[1]->id},
                     "two deletions succeeded while an append held a non-empty array; only the deletion of the slot "
                     "it filled can"});
  }
}

// A failure needs the count to fall below the worker's index after the index
// was drawn: the count at the draw (after the request line) must stand above
// the count at the test (a read's, before its failure line; a deletion's,
// after its execution line). So the count's changes are placed in time, each
// within the span the lines leave it, and each failure must see a fall
// between its draw and its test that the appends in between do not undo (or
// draw on an empty array that stays empty).
//
// A successful deletion D lowers the count once, after its success line,
// while it still holds its range, the locks from its index to the end; and
// before the execution line of every append or successful deletion that
// executes after D's: such a writer was admitted after D (writers are
// admitted one at a time, and the one admitted first executes first), so
// after D stopped being counted, and it took its range then. An append's range
// starts at 0 and a deletion's runs to the end, so each meets D's range and
// waits for D to let it go, after the count fell; only a deletion whose range
// is empty, past the end, slips past, and that one fails.
//
// An append raises the count once, between its execution and success lines,
// while it is still counted, so before the execution line of every writer
// that executes after it, whatever that writer's outcome.
//
// The search walks the moments between lines, placing the changes due there
// in every order; a draw or a test may fall at any moment, so each failure
// only keeps the highest index it could have drawn so far.
class CountTimeline {
 public:
  explicit CountTimeline(const Workers& all, long maxStates) : maxStates_(maxStates) {
    for (const auto& [id, w] : all) {
      end_ = std::max(end_, w.outcome()->number + 1);
      if (!w.succeeded()) failures_.push_back(&w);
    }
    for (const auto& [id, w] : all) {
      bool changes = w.command == Command::Append || (w.command == Command::Delete && w.succeeded());
      if (!changes) continue;
      Change c{&w, w.command == Command::Append ? 1 : -1,
               (w.command == Command::Append ? w.execution() : w.outcome())->number + 1,
               w.command == Command::Append ? w.outcome()->number : end_};
      for (const auto& [other, later] : all)
        if (&later != &w && later.execution() && later.execution()->number > w.execution()->number &&
            (later.command == Command::Append || (later.command == Command::Delete && (c.delta > 0 || later.succeeded()))))
          c.to = std::min(c.to, later.execution()->number);
      changes_.push_back(c);
    }
    std::vector<Change> loose = changes_;
    for (Change& c : changes_)
      if (c.delta < 0) holdBackFailedDeletions(all, loose, c);
  }

  // A successful deletion that can lower the count at no moment at all; null
  // when there is none.
  const Worker* impossible() const {
    for (const Change& c : changes_)
      if (c.from > c.to) return c.worker;
    return nullptr;
  }

  enum class Verdict { Explained, Unexplained, GaveUp };
  Verdict run() {
    if (changes_.size() > 32) return Verdict::GaveUp;  // one bit each; niz-locks has 20 workers
    std::vector<std::uint8_t> drawn(failures_.size(), 0);
    if (explore(1, 0, drawn)) return Verdict::Explained;
    return gaveUp_ ? Verdict::GaveUp : Verdict::Unexplained;
  }
  // The failure line the search could not get past, and its worker.
  int stuckAt() const { return furthest_; }
  const Worker* stuckWorker() const {
    for (const Worker* w : failures_)
      if (w->outcome()->number == furthest_) return w;
    return failures_.empty() ? nullptr : failures_.front();
  }

 private:
  // A moment is named by the line just after it; a change falls at some
  // moment from `from` to `to`.
  struct Change {
    const Worker* worker;
    int delta;
    int from, to;
  };
  static constexpr std::uint8_t kSeen = 255;  // a failure whose fall has been seen

  // A failed deletion W that executes after a successful deletion D was
  // admitted after D, like any writer, and took its range then: either after
  // D let its range go, so after the count fell, or while D held it, if W's
  // range was empty, its index at or past the count D found. W drew its index
  // below the count of the moment, so in the second case the count stood
  // higher when W drew than when D took its range, and another deletion
  // lowered it in between, after W's request and before D's success line.
  // Where no other deletion can, D's fall comes before W's execution line.
  void holdBackFailedDeletions(const Workers& all, const std::vector<Change>& loose, Change& d) {
    for (const auto& [id, w] : all) {
      if (w.command != Command::Delete || w.succeeded() || w.execution()->number < d.worker->execution()->number)
        continue;
      int from = w.request()->number + 1, to = d.worker->outcome()->number;
      bool another = std::any_of(loose.begin(), loose.end(), [&](const Change& c) {
        return c.delta < 0 && c.worker != d.worker && std::max(c.from, from) <= std::min(c.to, to);
      });
      if (!another) d.to = std::min(d.to, w.execution()->number);
    }
  }

  int count(std::uint32_t placed) const {
    int n = 9;
    for (std::size_t i = 0; i < changes_.size(); ++i)
      if (placed >> i & 1) n += changes_[i].delta;
    return n;
  }

  // What each failure makes of the count at moment m: a read draws and then
  // tests anywhere in its window, a deletion draws before its execution line
  // and tests after it. A draw on n elements gives an index up to n - 1 (0 on
  // an empty array), and the test fails when the count is at or below it;
  // each failure keeps the highest index it could have drawn so far, plus 1
  // (0 before any draw).
  void look(int m, int n, std::vector<std::uint8_t>& drawn) const {
    for (std::size_t k = 0; k < failures_.size(); ++k) {
      const Worker& w = *failures_[k];
      if (drawn[k] == kSeen || m <= w.request()->number || m > w.outcome()->number) continue;
      bool drawsNow = w.command == Command::Read || m <= w.execution()->number;
      bool testsNow = w.command == Command::Read || m > w.execution()->number;
      if (drawsNow) drawn[k] = static_cast<std::uint8_t>(std::max(int{drawn[k]}, std::max(n - 1, 0) + 1));
      if (testsNow && drawn[k] > 0 && n <= drawn[k] - 1) drawn[k] = kSeen;
    }
  }

  bool explore(int m, std::uint32_t placed, std::vector<std::uint8_t> drawn) {
    look(m, count(placed), drawn);
    std::string key(reinterpret_cast<const char*>(&m), sizeof m);
    key.append(reinterpret_cast<const char*>(&placed), sizeof placed);
    key.append(drawn.begin(), drawn.end());
    if (!seen_.insert(std::move(key)).second) return false;
    if (static_cast<long>(seen_.size()) > maxStates_) {
      gaveUp_ = true;
      return false;
    }
    for (std::size_t i = 0; i < changes_.size() && !gaveUp_; ++i)
      if (!(placed >> i & 1) && changes_[i].from <= m && m <= changes_[i].to && explore(m, placed | 1u << i, drawn))
        return true;
    for (std::size_t i = 0; i < changes_.size(); ++i)
      if (!(placed >> i & 1) && changes_[i].to <= m) return false;
    for (std::size_t k = 0; k < failures_.size(); ++k)
      if (failures_[k]->outcome()->number == m && drawn[k] != kSeen) {
        furthest_ = std::max(furthest_, m);
        return false;
      }
    return m == end_ || explore(m + 1, placed, std::move(drawn));
  }

  std::vector<const Worker*> failures_;
  std::vector<Change> changes_;
  int end_ = 1;
  long maxStates_;
  std::unordered_set<std::string> seen_;
  int furthest_ = 0;
  bool gaveUp_ = false;
};

void countFallsBeforeFailures(const Workers& workers, long maxStates, Report& report) {
  CountTimeline timeline(workers, maxStates);
  if (const Worker* d = timeline.impossible()) {
    report.violations.push_back(
        {d->outcome()->number, {d->id},
         "a deletion succeeded, but no moment is left for it to lower the count: a failed deletion executed after "
         "it had to, and no other deletion can have lowered the count after that one drew"});
    return;
  }
  switch (timeline.run()) {
    case CountTimeline::Verdict::Explained: return;
    case CountTimeline::Verdict::GaveUp:
      report.incomplete = true;
      report.summary = "incomplete niz-locks check: the count search gave up after " + std::to_string(maxStates) +
                       " states; nothing is claimed about this trace";
      return;
    case CountTimeline::Verdict::Unexplained: break;
  }
  const Worker* w = timeline.stuckWorker();
  report.violations.push_back({timeline.stuckAt(), {w ? w->id : 0},
                               withArticle(w ? w->command : Command::Read) +
                                   " failed, but in no order of the count's changes does the count fall below its "
                                   "index after it was drawn"});
}

void judge(const Workers& workers, const Scope& scope, Report& report) {
  checkPairs(workers, pairRule, report.violations);
  oneDeletionPerAppend(workers, report.violations);
  std::size_t before = report.violations.size();
  failuresFollowAShrink(workers, report.violations);
  if (report.violations.size() == before) countFallsBeforeFailures(workers, scope.maxSearchStates, report);
  boundCount(workers, report.violations);
}

}  // namespace

const Rules kNizLocksRules{20, -1, true, lifecycles, nullptr, judge};

}  // namespace provera
