// zadatak: ten workers, one monitor. Worker k reads when k mod 3 is 0, appends
// when it is 1 and deletes when it is 2, with an argument from 0 to 8. Each
// prints request, execution, outcome; it is admitted between its request and
// execution lines and released after its outcome line. Readers run together and
// beside an append; an append runs alone among writers; a deletion runs only
// beside readers of a lower index.
#include <algorithm>
#include <set>

#include "rules/rules.hpp"

namespace provera {
namespace {

// ---- Lines -------------------------------------------------------------------

// Every worker is admitted once and always prints an outcome: an append never
// fails, but its line says so from the result, so both outcomes are forms.
std::vector<std::string_view> lifecycles(Command) { return {"RXS", "RXF"}; }

// main gives worker k the command k mod 3.
std::string lineFault(const Line& line) {
  if (static_cast<long>(line.command) == line.worker % 3) return "";
  static const char* const fixed[3] = {"a read (CITANJE)", "an append (DODAVANJE)", "a deletion (BRISANJE)"};
  return "worker " + std::to_string(line.worker) + " always runs " + fixed[line.worker % 3];
}

// ---- Admission ---------------------------------------------------------------

// Two workers admitted together, in either order: a deletion only beside
// readers of a lower index (readers at or above the index under deletion
// wait), an append never beside another append or a deletion.
std::string togetherRule(const Worker& a, const Worker& b) {
  if (a.command == Command::Delete || b.command == Command::Delete) {
    const Worker& deletion = a.command == Command::Delete ? a : b;
    const Worker& other = a.command == Command::Delete ? b : a;
    if (other.command == Command::Read) {
      if (other.argument() < deletion.argument()) return "";
      return "a read of index " + std::to_string(other.argument()) + " ran beside a deletion of index " +
             std::to_string(deletion.argument()) + "; only reads of a lower index may";
    }
    return std::string("a deletion ran beside ") + (other.command == Command::Append ? "an append" : "another deletion");
  }
  if (a.command == Command::Append && b.command == Command::Append) return "two appends ran at once";
  return "";
}

// `inner`'s execution line falls inside `outer`'s window. When inner's request
// line also follows outer's execution line, inner asked to be admitted only
// after outer was admitted, and was admitted before outer's outcome line, so
// while outer was still counted: inner's wait condition was false with outer
// counted. A deletion waits while anyone is counted, so it can never be the
// second of such a pair, even beside a reader of a lower index.
std::string pairRule(const Worker& outer, const Worker& inner, const Workers&) {
  if (std::string broken = togetherRule(outer, inner); !broken.empty()) return broken;
  bool outerFirst = inner.request()->number > outer.execution()->number;
  if (outerFirst && inner.command == Command::Delete)
    return "a deletion was admitted while " + withArticle(outer.command) +
           " was running; a deletion waits until nothing else runs";
  return "";
}

// Pairs of windows are not enough: a reader whose window ends before a
// deletion's execution line may still have to be admitted before the
// deletion, and so hold back a second reader's admission, which a pair of
// windows does not show. So the admissions themselves are placed: each worker
// is admitted at some moment between its request and execution lines, when
// its wait condition is false, and released after its outcome line. A real
// run is such a placement, with its releases perhaps later than the outcome
// line; every wait condition only asks that some counter be 0 (or, for a
// reader, that no deletion at or below its index be counted), so releasing
// earlier never stops an admission, and the search releases each worker as
// soon as its outcome line is printed. Conversely a placement the search finds
// is an order of the monitor's steps the workers can take. It walks the lines
// with the set of workers admitted so far; there are at most 31 positions and
// 2^10 sets, each visited once.
class AdmissionSearch {
 public:
  explicit AdmissionSearch(const Workers& workers) {
    for (const auto& [id, w] : workers) workers_.push_back(&w);
    for (std::size_t i = 0; i < workers_.size(); ++i)
      for (const Line* line : workers_[i]->lines) lines_.push_back({line->number, i, line->phase});
    std::sort(lines_.begin(), lines_.end(), [](const Event& a, const Event& b) { return a.line < b.line; });
    seen_.assign((lines_.size() + 1) << workers_.size(), false);
    requested_.assign(lines_.size() + 1, 0);
    released_.assign(lines_.size() + 1, 0);
    for (std::size_t k = 0; k < lines_.size(); ++k) {
      unsigned bit = 1u << lines_[k].worker;
      requested_[k + 1] = requested_[k] | bit;
      released_[k + 1] = released_[k] | (lines_[k].phase == Phase::Success || lines_[k].phase == Phase::Failure ? bit : 0);
    }
  }

  bool explained() { return explore(0, 0); }
  // The furthest any placement got: the execution line of a worker that
  // could not be admitted in time, and that worker.
  int stuckAt() const { return lines_[furthest_].line; }
  long stuckWorker() const { return workers_[lines_[furthest_].worker]->id; }

 private:
  struct Event {
    int line;
    std::size_t worker;
    Phase phase;
  };

  // Worker i's wait condition is false while exactly the workers in `running` are counted.
  bool mayEnter(std::size_t i, unsigned running) const {
    const Worker& w = *workers_[i];
    for (std::size_t j = 0; j < workers_.size(); ++j) {
      if (!(running >> j & 1)) continue;
      const Worker& other = *workers_[j];
      if (w.command == Command::Delete) return false;
      if (other.command == Command::Delete && (w.command == Command::Append || w.argument() >= other.argument()))
        return false;
      if (w.command == Command::Append && other.command == Command::Append) return false;
    }
    return true;
  }

  // Explores from the `next` line with the workers in `admitted` admitted.
  bool explore(std::size_t next, unsigned admitted) {
    if (next == lines_.size()) return true;
    std::size_t state = next << workers_.size() | admitted;
    if (seen_[state]) return false;
    seen_[state] = true;
    furthest_ = std::max(furthest_, next);
    unsigned running = admitted & ~released_[next];
    unsigned waiting = requested_[next] & ~admitted;
    for (std::size_t i = 0; i < workers_.size(); ++i)
      if ((waiting >> i & 1) && mayEnter(i, running) && explore(next, admitted | 1u << i)) return true;
    const Event& e = lines_[next];
    if (e.phase == Phase::Execution && !(admitted >> e.worker & 1)) return false;
    return explore(next + 1, admitted);
  }

  std::vector<const Worker*> workers_;
  std::vector<Event> lines_;
  std::vector<unsigned> requested_, released_;  // by line position: the workers whose request
                                                // or outcome line comes before it
  std::vector<bool> seen_;                      // by next << workers | admitted
  std::size_t furthest_ = 0;
};

void placeAdmissions(const Workers& workers, std::vector<Violation>& out) {
  AdmissionSearch search(workers);
  if (search.explained()) return;
  out.push_back({search.stuckAt(), {search.stuckWorker()},
                 "no order of the workers' admissions lets this worker in before its execution line"});
}

// ---- Data --------------------------------------------------------------------

// Appends and deletions never overlap, so the count before each of them is
// known; a read saw the count at some moment of its window.
void replayCount(const Workers& workers, std::vector<Violation>& out) {
  struct Change {
    const Worker* worker;
    int from, to, before, after;
  };
  std::vector<Change> changes;
  for (const Window& w : windows(workers))
    if (w.worker->command != Command::Read) changes.push_back({w.worker, w.from, w.to, 0, 0});
  int count = 9;
  for (Change& c : changes) {
    const Worker& w = *c.worker;
    c.before = count;
    if (w.command == Command::Append) {
      if (!w.succeeded()) out.push_back({w.outcome()->number, {w.id}, "an append never fails"});
      ++count;
    } else {
      bool fits = w.argument() < count;
      if (fits != w.succeeded())
        out.push_back({w.outcome()->number, {w.id},
                       std::string("deletion of index ") + std::to_string(w.argument()) + (fits ? " failed" : " succeeded") +
                           " with " + std::to_string(count) + " live elements"});
      count -= fits;
    }
    c.after = count;
  }

  for (const auto& entry : workers) {
    const Worker& w = entry.second;
    if (w.command != Command::Read) continue;
    int from = w.execution()->number, to = w.outcome()->number;
    std::set<int> counts;
    int settled = 9;
    for (const Change& c : changes) {
      if (c.to < from) {
        settled = c.after;
      } else if (c.from <= to) {
        counts.insert({c.before, c.after});
      }
    }
    if (counts.empty()) counts.insert(settled);
    bool canSucceed = std::any_of(counts.begin(), counts.end(), [&](int n) { return w.argument() < n; });
    bool canFail = std::any_of(counts.begin(), counts.end(), [&](int n) { return w.argument() >= n; });
    if (w.succeeded() ? !canSucceed : !canFail)
      out.push_back({w.outcome()->number, {w.id},
                     "read of index " + std::to_string(w.argument()) + (w.succeeded() ? " succeeded" : " failed") +
                         " although the count was " + (w.succeeded() ? "at most " + std::to_string(*counts.rbegin())
                                                                     : "at least " + std::to_string(*counts.begin())) +
                         " while it ran"});
  }
}

void judge(const Workers& workers, const Scope&, Report& report) {
  std::size_t before = report.violations.size();
  checkPairs(workers, pairRule, report.violations);
  if (report.violations.size() == before) placeAdmissions(workers, report.violations);
  replayCount(workers, report.violations);
}

}  // namespace

const Rules kZadatakRules{10, 8, true, lifecycles, lineFault, judge};

}  // namespace provera
