#include "check.hpp"

#include <algorithm>
#include <array>
#include <set>

#include "workers.hpp"

namespace provera {
namespace {

const char* noun(Command command) {
  switch (command) {
    case Command::Read: return "read";
    case Command::Append: return "append";
    default: return "deletion";
  }
}

// ---- Lifecycle -------------------------------------------------------------------

// The phases a worker prints, in order: R request, X execution, S success, F failure.
std::vector<std::string_view> lifecycles(Program program, Command command) {
  switch (program) {
    case Program::Zadatak: return {"RXS", "RXF"};
    case Program::NizMark: return {"RRS", "RRF"};
    default:
      if (command == Command::Read) return {"RF", "RXS"};
      if (command == Command::Append) return {"RXS"};
      return {"RXS", "RXF"};
  }
}

char letter(Phase phase) { return "RXSF"[static_cast<int>(phase)]; }

struct Limits {
  long workers;       // workers 0 .. workers-1
  int maxArgument;    // -1 where lines carry no argument
  bool allPresent;    // every worker prints something
};

Limits limitsOf(Program program) {
  switch (program) {
    case Program::Zadatak: return {10, 8, true};
    case Program::NizLocks: return {20, -1, true};
    default: return {10, 9, false};
  }
}

std::string phaseName(Phase phase) {
  switch (phase) {
    case Phase::Request: return "request";
    case Phase::Execution: return "execution";
    case Phase::Success: return "success";
    default: return "failure";
  }
}

// "request, execution, success or request, execution, failure"
std::string spelled(const std::vector<std::string_view>& lifecycles) {
  std::string text;
  for (std::string_view lifecycle : lifecycles) {
    text += text.empty() ? "" : " or ";
    for (std::size_t i = 0; i < lifecycle.size(); ++i)
      text += (i ? ", " : "") + phaseName(static_cast<Phase>(std::string_view("RXSF").find(lifecycle[i])));
  }
  return text;
}

Workers checkLifecycles(Program program, const Trace& trace, const Scope& scope, std::vector<Violation>& out) {
  Limits limits = limitsOf(program);
  auto takesPart = [&](long id) { return scope.workers.empty() || scope.workers.contains(id); };
  Workers workers;
  std::set<long> broken;
  auto fault = [&](const Line& line, std::string rule) {
    out.push_back({line.number, {line.worker}, std::move(rule)});
    broken.insert(line.worker);
  };

  for (const Line& line : trace.lines) {
    if (line.worker < 0 || line.worker >= limits.workers) {
      out.push_back({line.number, {line.worker}, "no such worker: workers are 0 to " + std::to_string(limits.workers - 1)});
      continue;
    }
    if (!takesPart(line.worker)) {
      out.push_back({line.number, {line.worker}, "worker " + std::to_string(line.worker) + " takes no part in this run"});
      continue;
    }
    if (broken.contains(line.worker)) continue;
    Worker& w = workers[line.worker];
    if (w.lines.empty()) {
      w.id = line.worker;
      w.command = line.command;
    }
    if (line.command != w.command) {
      fault(line, "command changed from " + std::string(noun(w.command)) + " to " + noun(line.command));
      continue;
    }
    if (line.argument && (*line.argument < 0 || *line.argument > limits.maxArgument)) {
      fault(line, "argument " + std::to_string(*line.argument) + " is outside 0 to " + std::to_string(limits.maxArgument));
      continue;
    }
    if (!w.lines.empty() && line.argument != w.lines.front()->argument) {
      fault(line, "argument changed from " + std::to_string(w.argument()) + " to " + std::to_string(*line.argument));
      continue;
    }
    if (program == Program::Zadatak && static_cast<int>(line.command) != line.worker % 3) {
      static const char* const fixed[3] = {"a read (CITANJE)", "an append (DODAVANJE)", "a deletion (BRISANJE)"};
      fault(line, "worker " + std::to_string(line.worker) + " always runs " + fixed[line.worker % 3]);
      continue;
    }
    std::string sofar;
    for (const Line* l : w.lines) sofar += letter(l->phase);
    sofar += letter(line.phase);
    auto valid = lifecycles(program, line.command);
    bool fits = std::any_of(valid.begin(), valid.end(), [&](std::string_view v) { return v.starts_with(sofar); });
    if (!fits) {
      fault(line, phaseName(line.phase) + " line out of order; " + (line.command == Command::Append ? "an " : "a ") +
                      noun(line.command) + " prints " + spelled(valid));
      continue;
    }
    w.lines.push_back(&line);
  }

  int end = std::max(trace.lineCount, 1);
  for (long id = 0; id < limits.workers; ++id) {
    if (!takesPart(id)) continue;
    auto it = workers.find(id);
    if (it == workers.end()) {
      if (limits.allPresent && !broken.contains(id)) out.push_back({end, {id}, "never appears in a well-formed line"});
      continue;
    }
    Worker& w = it->second;
    std::string phases;
    for (const Line* l : w.lines) phases += letter(l->phase);
    auto valid = lifecycles(program, w.command);
    w.complete = !broken.contains(id) && std::find(valid.begin(), valid.end(), phases) != valid.end();
    if (!w.complete && !broken.contains(id)) out.push_back({end, {id}, "the trace ends before its outcome"});
  }
  std::erase_if(workers, [](const auto& entry) { return !entry.second.complete; });
  return workers;
}

// ---- Admission -------------------------------------------------------------------

// A worker prints its execution line once admitted and its outcome before it is
// released, so a worker whose execution line falls inside another's window
// [execution, outcome] was admitted while the other one was.
struct Window {
  const Worker* worker;
  int from, to;
};

std::vector<Window> windows(const Workers& workers) {
  std::vector<Window> result;
  for (const auto& [id, w] : workers)
    if (const Line* exec = w.execution()) result.push_back({&w, exec->number, w.outcome()->number});
  std::sort(result.begin(), result.end(), [](const Window& a, const Window& b) { return a.from < b.from; });
  return result;
}

// What the pair rules of a program say of `inner`, admitted inside `outer`'s window.
using PairRule = std::string (*)(const Worker& outer, const Worker& inner, const Workers& all);

std::string zadatakPair(const Worker& a, const Worker& b, const Workers&) {
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

// niz-locks: bounds on the count from the order of lines. An append stores
// between its execution and outcome lines; a deletion lowers the count after its
// success line.
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

std::string nizLocksPair(const Worker& a, const Worker& b, const Workers& all) {
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

void checkAdmission(const Workers& workers, PairRule rule, std::vector<Violation>& out) {
  std::vector<Window> all = windows(workers);
  for (std::size_t i = 0; i < all.size(); ++i)
    for (std::size_t j = i + 1; j < all.size() && all[j].from < all[i].to; ++j) {
      std::string broken = rule(*all[i].worker, *all[j].worker, workers);
      if (!broken.empty()) out.push_back({all[j].from, {all[i].worker->id, all[j].worker->id}, broken});
    }
}

// ---- Data ------------------------------------------------------------------------

// zadatak: appends and deletions never overlap, so the count before each of them
// is known; a read saw the count at some moment of its window.
void replayZadatak(const Workers& workers, std::vector<Violation>& out) {
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

// niz-locks: a successful deletion found a live element, so the count cannot
// have reached 0 by then.
void boundNizLocksCount(const Workers& workers, std::vector<Violation>& out) {
  for (const auto& [id, w] : workers) {
    if (w.command != Command::Delete || !w.succeeded()) continue;
    int most = 9 + appendsStartedBefore(workers, w.outcome()->number) -
               deletionsSucceededBefore(workers, w.execution()->number);
    if (most < 1)
      out.push_back({w.outcome()->number, {w.id}, "a deletion succeeded although the array was empty"});
  }
}

std::string summarize(Program program, const Workers& workers) {
  std::array<int, 3> runs{}, successes{};
  for (const auto& [id, w] : workers) {
    ++runs[static_cast<int>(w.command)];
    successes[static_cast<int>(w.command)] += w.succeeded();
  }
  std::string text = "valid " + std::string(nameOf(program)) + " trace: " + std::to_string(workers.size()) +
                     (workers.size() == 1 ? " worker" : " workers");
  if (program == Program::NizMark) text += " with a command";
  for (int c = 0; c < 3; ++c)
    text += std::string(c ? ", " : "; ") + std::to_string(runs[c]) + " " + noun(static_cast<Command>(c)) +
            (runs[c] == 1 ? "" : "s") + " (" + std::to_string(successes[c]) + " succeeded)";
  return text;
}

}  // namespace

long workerCount(Program program) { return limitsOf(program).workers; }

Report check(Program program, std::string_view text, const Scope& scope) {
  Report report;
  Trace trace = parse(program, text);
  report.violations = trace.violations;
  Workers workers = checkLifecycles(program, trace, scope, report.violations);
  switch (program) {
    case Program::Zadatak:
      checkAdmission(workers, zadatakPair, report.violations);
      replayZadatak(workers, report.violations);
      break;
    case Program::NizLocks:
      checkAdmission(workers, nizLocksPair, report.violations);
      boundNizLocksCount(workers, report.violations);
      break;
    case Program::NizMark:
      replayNizMark(workers, report.violations);
      break;
  }
  std::stable_sort(report.violations.begin(), report.violations.end(),
                   [](const Violation& a, const Violation& b) { return a.line < b.line; });
  report.summary = summarize(program, workers);
  return report;
}

}  // namespace provera
