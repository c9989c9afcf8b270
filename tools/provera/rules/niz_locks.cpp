// niz-locks: twenty workers with one lock per element. A read whose index is
// past the end fails at once; otherwise it passes its element's lock, prints
// its execution line, passes it again and succeeds. Appends and deletions are
// admitted one at a time, print their execution line, retake their range,
// change the array and stop being counted, then keep their range through their
// last pause and outcome line. A deletion lowers the count only after its
// success line.
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
    // Together only if the first took an empty range: the array was empty then.
    int least = 9 + appendsEndedBefore(all, a.execution()->number) - deletionsSucceededBefore(all, a.outcome()->number);
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

void judge(const Workers& workers, const Scope&, Report& report) {
  checkPairs(workers, pairRule, report.violations);
  boundCount(workers, report.violations);
}

}  // namespace

const Rules kNizLocksRules{20, -1, true, lifecycles, nullptr, judge};

}  // namespace provera
