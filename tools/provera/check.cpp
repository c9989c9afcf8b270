// The checks every program shares: form (trace.cpp), then each worker's
// lifecycle against its program's rules; then the program's own judgement of
// the complete workers together (rules/).
#include "check.hpp"

#include <algorithm>
#include <array>
#include <set>

#include "rules/rules.hpp"

namespace provera {
namespace {

// ---- Lifecycle -------------------------------------------------------------------

char letter(Phase phase) { return "RXSF"[static_cast<int>(phase)]; }

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

Workers checkLifecycles(const Rules& rules, const Trace& trace, const Scope& scope, std::vector<Violation>& out) {
  auto takesPart = [&](long id) { return scope.workers.empty() || scope.workers.contains(id); };
  Workers workers;
  std::set<long> broken;
  auto fault = [&](const Line& line, std::string rule) {
    out.push_back({line.number, {line.worker}, std::move(rule)});
    broken.insert(line.worker);
  };

  for (const Line& line : trace.lines) {
    if (line.worker < 0 || line.worker >= rules.workers) {
      out.push_back({line.number, {line.worker}, "no such worker: workers are 0 to " + std::to_string(rules.workers - 1)});
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
    if (line.argument && (*line.argument < 0 || *line.argument > rules.maxArgument)) {
      fault(line, "argument " + std::to_string(*line.argument) + " is outside 0 to " + std::to_string(rules.maxArgument));
      continue;
    }
    if (!w.lines.empty() && line.argument != w.lines.front()->argument) {
      fault(line, "argument changed from " + std::to_string(w.argument()) + " to " + std::to_string(*line.argument));
      continue;
    }
    if (std::string wrong = rules.lineFault ? rules.lineFault(line) : ""; !wrong.empty()) {
      fault(line, wrong);
      continue;
    }
    std::string sofar;
    for (const Line* l : w.lines) sofar += letter(l->phase);
    sofar += letter(line.phase);
    auto valid = rules.lifecycles(line.command);
    bool fits = std::any_of(valid.begin(), valid.end(), [&](std::string_view v) { return v.starts_with(sofar); });
    if (!fits) {
      fault(line, phaseName(line.phase) + " line out of order; " + withArticle(line.command) + " prints " + spelled(valid));
      continue;
    }
    w.lines.push_back(&line);
  }

  int end = std::max(trace.lineCount, 1);
  for (long id = 0; id < rules.workers; ++id) {
    if (!takesPart(id)) continue;
    auto it = workers.find(id);
    if (it == workers.end()) {
      if (rules.allPresent && !broken.contains(id)) out.push_back({end, {id}, "never appears in a well-formed line"});
      continue;
    }
    Worker& w = it->second;
    std::string phases;
    for (const Line* l : w.lines) phases += letter(l->phase);
    auto valid = rules.lifecycles(w.command);
    w.complete = !broken.contains(id) && std::find(valid.begin(), valid.end(), phases) != valid.end();
    if (!w.complete && !broken.contains(id)) out.push_back({end, {id}, "the trace ends before its outcome"});
  }
  std::erase_if(workers, [](const auto& entry) { return !entry.second.complete; });
  return workers;
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

const Rules& rulesOf(Program program) {
  switch (program) {
    case Program::Zadatak: return kZadatakRules;
    case Program::NizLocks: return kNizLocksRules;
    default: return kNizMarkRules;
  }
}

long workerCount(Program program) { return rulesOf(program).workers; }

Report check(Program program, std::string_view text, const Scope& scope) {
  Report report;
  Trace trace = parse(program, text);
  report.violations = trace.violations;
  // A whole run always prints something: every worker of zadatak and niz-locks
  // prints a request line, and a niz-mark worker prints nothing only when it
  // draws the fourth code. Ten silent niz-mark workers would draw exactly the
  // first twenty numbers of its never-seeded generator, and only six of those
  // name that code. A run of some of the workers only may print nothing.
  if (text.empty() && scope.workers.empty())
    report.violations.push_back({0, {}, "no line at all: an empty trace is not a run of " + std::string(nameOf(program))});
  const Rules& rules = rulesOf(program);
  Workers workers = checkLifecycles(rules, trace, scope, report.violations);
  rules.judge(workers, scope, report);
  std::stable_sort(report.violations.begin(), report.violations.end(),
                   [](const Violation& a, const Violation& b) { return a.line < b.line; });
  if (!report.incomplete) report.summary = summarize(program, workers);
  return report;
}

}  // namespace provera
