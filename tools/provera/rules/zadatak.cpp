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
  checkPairs(workers, pairRule, report.violations);
  replayCount(workers, report.violations);
}

}  // namespace

const Rules kZadatakRules{10, 8, true, lifecycles, lineFault, judge};

}  // namespace provera
