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

// Each failure needs the count to fall below its index after the index was
// drawn, and so a successful deletion lowering it between the worker's request
// line (the draw follows it) and its failure line. A successful deletion D
// lowers the count once, after its success line, while it still holds its
// range, the locks from its index to the end; and before the execution line
// of every append or successful deletion that executes after D's: such a
// writer was admitted after D (writers are admitted one at a time, and the
// one admitted first executes first), so after D stopped being counted, and
// it took its range then. An append's range starts at 0 and a deletion's
// range runs to the end, so each meets D's range and waits for D to let it
// go, after the count fell; only a deletion whose range is empty, past the
// end, slips past, and that one fails. So every failure must find its own
// moment in some deletion's span, and two failures share a deletion only if
// that moment lies in both their windows. The search is over which deletion
// serves which failure, and visits each of its states once.
class ShrinkPlacement {
 public:
  explicit ShrinkPlacement(const Workers& all) {
    int end = 0;
    for (const auto& [id, w] : all) end = std::max(end, w.outcome()->number + 1);
    for (const auto& [id, d] : all) {
      if (d.command != Command::Delete || !d.succeeded()) continue;
      int before = end;
      for (const auto& [other, w] : all)
        if (&w != &d && (w.command == Command::Append || (w.command == Command::Delete && w.succeeded())) &&
            w.execution()->number > d.execution()->number)
          before = std::min(before, w.execution()->number);
      shrinks_.push_back({&d, d.outcome()->number + 1, before});
    }
    std::vector<Shrink> loose = shrinks_;
    for (Shrink& s : shrinks_) holdBackFailedDeletions(all, loose, s);
    for (const auto& [id, w] : all)
      if (!w.succeeded()) failures_.push_back(&w);
    std::sort(failures_.begin(), failures_.end(),
              [](const Worker* a, const Worker* b) { return a->outcome()->number < b->outcome()->number; });
  }

  // A successful deletion that can lower the count at no moment at all; null
  // when there is none.
  const Worker* impossible() const {
    for (const Shrink& s : shrinks_)
      if (s.from > s.to) return s.deletion;
    return nullptr;
  }

  // True when every failure finds a fall of the count in its window.
  bool placed() { return place(0, 0, 0); }
  const Worker& stuck() const { return *failures_[furthest_]; }

 private:
  // A moment is named by the line just after it; a shrink falls at some
  // moment from `from` to `to`.
  struct Shrink {
    const Worker* deletion;
    int from, to;
  };

  // A failed deletion W that executes after a successful deletion D was
  // admitted after D, like any writer, and took its range then: either after
  // D let its range go, so after the count fell, or while D held it, if W's
  // range was empty, its index at or past the count D found. W drew its index
  // below the count of the moment, so in the second case the count stood
  // higher when W drew than when D took its range, and another deletion
  // lowered it in between, after W's request and before D's success line.
  // Where no other deletion can, D's fall comes before W's execution line.
  void holdBackFailedDeletions(const Workers& all, const std::vector<Shrink>& loose, Shrink& d) {
    for (const auto& [id, w] : all) {
      if (w.command != Command::Delete || w.succeeded() || w.execution()->number < d.deletion->execution()->number)
        continue;
      int from = w.request()->number + 1, to = d.deletion->outcome()->number;
      bool another = std::any_of(loose.begin(), loose.end(), [&](const Shrink& s) {
        return s.deletion != d.deletion && std::max(s.from, from) <= std::min(s.to, to);
      });
      if (!another) d.to = std::min(d.to, w.execution()->number);
    }
  }

  // Failures are taken by their failure lines. A shrink placed for one is put
  // as late as it can go, which leaves it inside every later window it can
  // reach; and as every shrink placed so far lies at or before the failure
  // line of the one at hand, only the latest of them matters to the rest.
  bool place(std::size_t k, std::uint32_t used, int latest) {
    furthest_ = std::max(furthest_, k);
    if (k == failures_.size()) return true;
    if (!tried_.insert(std::uint64_t{used} << 32 | std::uint64_t(latest) << 8 | k).second) return false;
    int from = failures_[k]->request()->number + 1, to = failures_[k]->outcome()->number;
    if (latest >= from) return place(k + 1, used, latest);
    for (std::size_t i = 0; i < shrinks_.size(); ++i) {
      const Shrink& s = shrinks_[i];
      if (used >> i & 1 || std::max(s.from, from) > std::min(s.to, to)) continue;
      if (place(k + 1, used | 1u << i, std::max(latest, std::min(s.to, to)))) return true;
    }
    return false;
  }

  std::vector<Shrink> shrinks_;
  std::vector<const Worker*> failures_;
  std::unordered_set<std::uint64_t> tried_;  // by shrinks used, latest moment, failure
  std::size_t furthest_ = 0;
};

void failuresFindAShrink(const Workers& workers, std::vector<Violation>& out) {
  ShrinkPlacement placement(workers);
  if (const Worker* d = placement.impossible()) {
    out.push_back({d->outcome()->number, {d->id},
                   "a deletion succeeded, but no moment is left for it to lower the count: a failed deletion "
                   "executed before it could have, and none other can have raised the count that one drew from"});
    return;
  }
  if (placement.placed()) return;
  const Worker& w = placement.stuck();
  out.push_back({w.outcome()->number, {w.id},
                 withArticle(w.command) + " failed, but no successful deletion can have lowered the count between its "
                                          "request and its failure, besides those the other failures need"});
}

void judge(const Workers& workers, const Scope&, Report& report) {
  checkPairs(workers, pairRule, report.violations);
  oneDeletionPerAppend(workers, report.violations);
  std::size_t before = report.violations.size();
  failuresFollowAShrink(workers, report.violations);
  if (report.violations.size() == before) failuresFindAShrink(workers, report.violations);
  boundCount(workers, report.violations);
}

}  // namespace

const Rules kNizLocksRules{20, -1, true, lifecycles, nullptr, judge};

}  // namespace provera
