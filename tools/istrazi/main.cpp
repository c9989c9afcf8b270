// The explorer's command line: runs a program's scenarios under every schedule
// the search finds, judges each run, and replays a saved schedule.
//
// Output goes through iostreams: printf, fprintf and fflush in this executable
// are the program's replacements.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "agree.hpp"
#include "check.hpp"
#include "explain.hpp"
#include "globals.hpp"
#include "scenario.hpp"
#include "istrazi.hpp"
#include "judge.hpp"
#include "play/play.hpp"
#include "saved.hpp"
#include "search.hpp"

namespace istrazi {
namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::vector<std::string> scenarios;
  int bound = -1;
  bool spurious = true;
  bool all = false;
  bool traces = false;
  bool quiet = false;
  bool traceJudgesOnly = false;  // skip the judges beyond the trace (to measure what they cost)
  bool agree = false;            // compare the traces with those provera accepts
  Explorer::Reduction reduction = Explorer::Reduction::Dpor;
  bool fromTheStart = false;  // every run replays from the program's start, not from a saved state
  bool everyAccess = false;   // a point at every shared access, also inside a critical section
  bool compareSteps = false;  // explore again with everyAccess and compare the traces and final arrays
  std::string out;
  std::string replay;
  std::string explain;
  std::string save;
  int repeat = 1;
  long limit = 0;  // stop a scenario after this many schedules (0: never)
  int part = 0, parts = 1;  // --part K/N
  bool play = false;
  std::string copy;  // --copy: the broken copy this explorer should be
};

std::string explorerName;

// The preemptions a sweep of the whole set allows before the full search.
constexpr int kSweepBound = 2;

void usage(std::ostream& out) {
  std::string program(provera::nameOf(model.program));
  out << "usage: istrazi " << program << " [--scenario SCENARIO]... [--bound N] [--no-spurious] [--all]\n"
      << "                [--traces] [--limit N] [--out FILE] [--quiet] [--trace-judges-only] [--agree]\n"
      << "                [--every-access] [--compare-steps]\n"
      << "       istrazi --replay FILE [--save STAMPED] [--repeat N]\n"
      << "       istrazi --source FILE " << program << " [OPTIONS]   the same for your own variant of it\n"
      << "Runs each scenario of " << program << " under every schedule (one worker at a time,\n"
      << "switching at every lock, wait, join, print and shared access, a critical\n"
      << "section's plain accesses going with its lock, a pause with its step, and a woken\n"
      << "waiter that would only wait again retesting at once), up to equivalence of\n"
      << "independent steps, and judges every run: its trace with provera, the program's\n"
      << "invariants after every step, deadlock and exit status; and beyond the trace: data\n"
      << "races, the scheme's rules, the end state, and whether the outcomes, values read and\n"
      << "final array fit one sequential execution of the commands. Every violation names the\n"
      << "source line of each thread's last step. Several scenarios are first swept within\n"
      << kSweepBound << " preemptions, which reports a violation found there at once.\n"
      << "  --scenario SCENARIO\n"
      << "                   run this scenario instead of the default set (repeatable)\n"
      << "  --part K/N       run the K-th of N runs of consecutive scenarios, ordered by\n"
      << "                   their commands (0 <= K < N)\n"
      << "  --bound N        try only schedules with at most N preemptions\n"
      << "  --no-spurious    no spurious wake-ups (by default a waiting worker may also wake\n"
      << "                   once without a broadcast, as POSIX allows, before anyone\n"
      << "                   else takes its lock, unless it would only wait again)\n"
      << "  --all            go on after a violation (the first one is saved)\n"
      << "  --traces         print every distinct trace once\n"
      << "  --limit N        stop each scenario after N schedules (for measuring speed)\n"
      << "  --agree          compare the distinct traces of each scenario with every well-formed\n"
      << "                   trace of its workers that provera accepts (niz-locks: over every\n"
      << "                   index); exit 1 when the sets differ (not with --bound or --limit)\n"
      << "  --trace-judges-only\n"
      << "                   judge only the trace, invariants, deadlock and exit status (to\n"
      << "                   measure what the other judges cost)\n"
      << "  --sleep-sets-only, --no-reduction\n"
      << "                   skip less (slow; they check the reduction)\n"
      << "  --from-the-start start every run from the program's start, not from a state\n"
      << "                   saved on the way of the run before (slow; it checks that)\n"
      << "  --every-access   a switch before every shared access, also inside a critical\n"
      << "                   section, which is otherwise one step up to its next call,\n"
      << "                   and at every pause; a woken waiter retests when it is chosen\n"
      << "                   (slower)\n"
      << "  --compare-steps  explore each scenario again with --every-access and compare\n"
      << "                   the distinct traces and final arrays; exit 1 when they differ\n"
      << "  --out FILE       where to write a counterexample (default: ./" << explorerName
      << ".schedule)\n"
      << "  --explain TRACE  search for a schedule that prints exactly this trace of a whole\n"
      << "                   run; print it and save it for --replay (--out), or say at\n"
      << "                   which line the trace leaves every schedule\n"
      << "  --replay FILE    run the saved schedule again: its trace on standard output,\n"
      << "                   each switch marked on standard error\n"
      << "  --save STAMPED   with --replay: the trace with step numbers for times, as\n"
      << "                   prikaz --from reads it\n"
      << "  --play           be the scheduler yourself: a terminal screen with each worker's\n"
      << "                   source line, the program's state and the trace; a worker's key\n"
      << "                   runs it one step (one --scenario, or a small one of every kind;\n"
      << "                   with --explain TRACE, space steps through the schedule found)\n"
      << "  --copy NAME      with --play: the broken copy NAME (istrazi --exercises lists them)\n"
      << "  --globals        the names a variant of the program must keep (istrazi --source),\n"
      << "                   and what the explorer reads each for\n"
      << "Scenario syntax for " << program << ":\n"
      << model.syntax << "\nDefault scenarios:";
  for (const std::string& s : model.defaults) out << " " << s;
  out << "\nExit status: 0 no violation, 1 a violation, 2 usage error.\n";
}


// A critical section is one step only where races are judged: an access made
// without a point before it could otherwise hide a race.
bool wholeSections(const Options& options) { return !options.everyAccess && !options.traceJudgesOnly; }

struct Found {
  RunResult run;
  std::string violation;
  int preemptions = 0;
};

// Searches with the given bound for the first run that breaks a rule.
std::optional<Found> firstViolation(const Scenario& scenario, const RunOptions& runOptions, int bound,
                                   bool traceOnly) {
  Explorer explorer(bound, Explorer::Reduction::Dpor, runOptions.wholeSections);
  Judge judge(scenario, traceOnly);
  for (;;) {
    RunResult run = istrazi::run(scenario, explorer, judge.prepare(runOptions));
    if (!run.abandoned) {
      std::string violation = judge(run);
      if (!violation.empty()) return Found{run, violation, explorer.preemptions(run.steps)};
    }
    if (!explorer.next(run.steps)) return std::nullopt;
  }
}

bool writeSchedule(const std::string& path, const Scenario& scenario, const Options& options,
                   const Found& found) {
  return writeSaved(path, {explorerName, scenario.text, options.spurious, wholeSections(options), found.violation,
                          found.run.schedule});
}

struct Report {
  long schedules = 0;
  bool exhausted = false;
  bool violated = false;
  bool limited = false;
  long violations = 0;  // runs that broke a rule
  bool disagreed = false;  // --agree: provera's set and the schedules' differ
  std::set<std::string> traces;  // --agree, --compare-steps: the distinct traces, once exhausted
  std::set<std::string> arrays;  // the final arrays of the runs that broke no rule
};

// Explores one scenario and reports it; `silent`: a line only if a rule is broken.
Report explore(const Scenario& scenario, const Options& options, Agreement* agreement = nullptr, bool silent = false) {
  RunOptions runOptions{options.spurious, false, wholeSections(options)};
  Explorer explorer(options.bound, options.reduction, runOptions.wholeSections);
  Judge judge(scenario, options.traceJudgesOnly);
  Checkpoints checkpoints;
  Report report;
  auto start = Clock::now();
  auto lastProgress = start;
  bool tty = isatty(2);
  for (;;) {
    RunResult run = istrazi::run(scenario, explorer, judge.prepare(runOptions), options.fromTheStart ? nullptr : &checkpoints);
    if (!run.abandoned) {
      ++report.schedules;
      std::string violation = judge(run);
      if (violation.empty()) {
        report.arrays.insert(model.finalArray());
      } else if (report.violated) {
        // --all: later violations are named; the first one was saved.
        ++report.violations;
        std::cout << explorerName << " " << scenario.text << ": VIOLATION: " << violation << "\n";
      } else {
        report.violated = true;
        ++report.violations;
        Found found{run, violation, explorer.preemptions(run.steps)};
        std::cout << explorerName << " " << scenario.text << ": VIOLATION: " << violation << "\n";
        // Fewer preemptions make a counterexample easier to follow.
        for (int b = 0; b < found.preemptions; ++b)
          if (auto shorter = firstViolation(scenario, runOptions, b, options.traceJudgesOnly)) {
            found = *shorter;
            break;
          }
        std::string path = options.out.empty() ? explorerName + ".schedule" : options.out;
        if (!writeSchedule(path, scenario, options, found)) {
          std::cerr << "istrazi: cannot write " << path << ": " << std::strerror(errno) << "\n";
        } else {
          std::cout << "  counterexample with " << found.preemptions << " preemption(s), " << found.run.steps
                    << " steps: " << path << " (replay: istrazi --replay " << path << ")\n";
          if (found.violation != violation) std::cout << "  it shows: " << found.violation << "\n";
        }
        if (!options.quiet) {
          std::cout << "  its trace:\n";
          std::istringstream lines(found.run.trace);
          for (std::string line; std::getline(lines, line);) std::cout << "    " << line << "\n";
        }
        if (!options.all) break;
      }
    }
    if (!explorer.next(run.steps)) {
      report.exhausted = true;
      break;
    }
    if (options.limit > 0 && report.schedules >= options.limit) {
      report.limited = true;
      break;
    }
    if (tty && (report.schedules & 1023) == 0 && Clock::now() - lastProgress > std::chrono::milliseconds(500)) {
      lastProgress = Clock::now();
      std::cerr << "\r" << scenario.text << ": " << report.schedules << " schedules, " << judge.distinctTraces()
                << " traces..." << std::flush;
    }
  }
  if (tty) std::cerr << "\r\033[K" << std::flush;
  if ((options.agree || options.compareSteps) && report.exhausted)
    for (const auto& [trace, verdict] : judge.verdicts()) report.traces.insert(trace);
  if (silent && !report.violated) return report;
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::cout << explorerName << " " << scenario.text << ": " << report.schedules << " schedules, "
            << judge.distinctTraces() << " distinct traces, " << report.arrays.size() << (report.arrays.size() == 1 ? " final array, " : " final arrays, ")
            << (report.exhausted ? (options.bound >= 0 ? "exhausted within " + std::to_string(options.bound) + " preemptions"
                                                       : std::string("exhausted"))
                                 : report.limited ? "stopped after " + std::to_string(options.limit) + " schedules"
                                                  : std::string("stopped at the first violation"))
            << ", " << seconds << " s, " << static_cast<long>(report.schedules / (seconds > 0 ? seconds : 1e-9))
            << " schedules/s";
  if (report.violations > 1) std::cout << ", " << report.violations << " of them broke a rule";
  if (explorer.sleepBlocked() > 0) std::cout << ", " << explorer.sleepBlocked() << " runs abandoned asleep";
  if (explorer.unfollowable() > 0) std::cout << ", " << explorer.unfollowable() << " branches not taken";
  std::cout << "\n";
  if (agreement && report.exhausted) report.disagreed = !agreement->check(scenario, report.traces, std::cout);
  if (options.traces) {
    int n = 0;
    for (const auto& [trace, verdict] : judge.verdicts()) {
      std::cout << "--- trace " << ++n << (verdict.empty() ? "" : " (" + verdict + ")") << "\n" << trace;
      if (!trace.empty() && trace.back() != '\n') std::cout << "\n";
    }
  }
  return report;
}

// --compare-steps: the scenario explored again with a point at every shared
// access, under the same judges, must give the same traces and final arrays.
// False, with what differs on standard output, when it does not.
bool sameWithEveryAccess(const Scenario& scenario, const Options& options, const Report& whole, long& schedules) {
  Options every = options;
  every.everyAccess = true;
  every.agree = every.traces = false;  // compareSteps stays: it keeps the traces
  Report fine = explore(scenario, every, nullptr, true);
  schedules += fine.schedules;
  std::string head = explorerName + " " + scenario.text + ": ";
  if (!fine.exhausted) {
    std::cout << head << "STEPS DIFFER: with a point at every access, a run breaks a rule\n";
    return false;
  }
  std::vector<std::string> onlyFine, onlyWhole;
  std::ranges::set_difference(fine.traces, whole.traces, std::back_inserter(onlyFine));
  std::ranges::set_difference(whole.traces, fine.traces, std::back_inserter(onlyWhole));
  auto arrays = [](std::size_t n) { return std::to_string(n) + (n == 1 ? " final array" : " final arrays"); };
  if (onlyFine.empty() && onlyWhole.empty() && fine.arrays == whole.arrays) {
    std::cout << head << "steps: a point at every access gives the same " << whole.traces.size() << " traces and "
              << arrays(whole.arrays.size()) << "\n";
    return true;
  }
  std::cout << head << "STEPS DIFFER: a point at every access gives " << onlyFine.size()
            << " traces that whole critical sections do not, and misses " << onlyWhole.size() << "; "
            << arrays(fine.arrays.size()) << " against " << whole.arrays.size() << "\n";
  const std::vector<std::string>& shown = onlyFine.empty() ? onlyWhole : onlyFine;
  if (!shown.empty()) {
    std::cout << "  the first " << (onlyFine.empty() ? "it misses" : "it adds") << ":\n";
    std::istringstream lines(shown.front());
    for (std::string line; std::getline(lines, line);) std::cout << "    " << line << "\n";
  }
  return false;
}

// ---- Replay -------------------------------------------------------------------

int replay(const Options& options) {
  Saved saved;
  std::string error;
  if (!readSaved(options.replay, saved, error)) {
    std::cerr << "istrazi: " << error << "\n";
    return 2;
  }
  Scenario scenario;
  scenario.text = saved.scenario;
  if (!model.parse(saved.scenario, scenario, error)) {
    std::cerr << "istrazi: " << options.replay << ": " << error << "\n";
    return 2;
  }
  RunOptions runOptions{saved.spurious, options.repeat == 1, saved.wholeSections};
  Judge judge(scenario, options.traceJudgesOnly);
  RunResult first;
  std::string violation;
  for (int i = 0; i < options.repeat; ++i) {
    FixedSchedule schedule(saved.steps);
    RunResult run = istrazi::run(scenario, schedule, judge.prepare(runOptions));
    if (schedule.diverged() || run.abandoned) {
      std::cerr << "istrazi: the schedule does not fit this program at step " << run.steps << "\n";
      return 2;
    }
    std::string verdict = judge(run);
    if (i == 0) {
      first = run;
      violation = verdict;
    } else if (run.trace != first.trace || verdict != violation) {
      std::cerr << "istrazi: replay " << i + 1 << " differs from the first\n";
      return 1;
    }
  }
  if (options.repeat > 1) std::cout << first.trace;
  std::cerr << "~~ " << first.steps << " steps; " << (violation.empty() ? "no violation" : violation) << "\n";
  if (!options.save.empty()) {
    // One line per trace line: the step that printed it, standing for the time.
    if (!writeStamped(options.save, first.trace, first.stepOfLine, first.steps)) {
      std::cerr << "istrazi: cannot write " << options.save << "\n";
      return 2;
    }
  }
  return violation.empty() ? 0 : 1;
}

// ---- Explain -------------------------------------------------------------------

// The scenario text with each "?" filled in with the value the search drew
// for that entry's worker (chosen draws come one per worker).
std::string filledIn(const std::string& text, const std::vector<std::pair<int, int>>& drawn) {
  std::string out;
  for (const auto& fields : entries(text)) {
    std::string entry;
    for (std::size_t f = 0; f < fields.size(); ++f) {
      std::string field(fields[f]);
      if (field == "?") {
        int worker = std::atoi(std::string(fields[0]).c_str());
        field = "0";
        for (auto [w, v] : drawn)
          if (w == worker) field = std::to_string(v);
      }
      entry += (f ? ":" : "") + field;
    }
    out += (out.empty() ? "" : ",") + entry;
  }
  return out;
}

// Reads the trace --explain names and searches for its schedule, filling in
// the scenario's chosen draws. The exit status when none is found (having
// said why), -1 when one is.
int findExplanation(const Options& options, std::string& trace, Scenario& filled, Explanation& found) {
  std::ifstream in(options.explain, std::ios::binary);
  if (!in) {
    std::cerr << "istrazi: cannot read " << options.explain << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  std::ostringstream text;
  text << in.rdbuf();
  trace = text.str();
  provera::Trace parsed = provera::parse(model.program, trace);
  std::string scenarioText, error;
  if (!model.scenarioOf || !model.scenarioOf(parsed, scenarioText, error)) {
    std::cerr << "istrazi: " << options.explain << ": " << (error.empty() ? "cannot explain this program" : error) << "\n";
    return 2;
  }
  Scenario scenario;
  scenario.text = scenarioText;
  if (!model.parse(scenarioText, scenario, error)) {
    std::cerr << "istrazi: " << options.explain << ": " << error << "\n";
    return 2;
  }
  auto start = Clock::now();
  found = explain(scenario, trace, options.limit > 0 ? options.limit : 5000000);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::cout << explorerName << " --explain " << options.explain << ": scenario " << scenarioText << ", "
            << found.states << " states, " << seconds << " s\n";
  if (!found.found) {
    if (found.gaveUp) {
      std::cout << "  the search gave up at line " << found.furthestLine + 1 << "; nothing is claimed about this trace\n";
      return 3;
    }
    std::istringstream lines(trace);
    std::string line;
    for (int n = 0; n <= found.furthestLine && std::getline(lines, line); ++n) {}
    std::cout << "  no schedule prints this trace: every schedule leaves it at line " << found.furthestLine + 1
              << ": " << provera::escaped(line) << "\n";
    return 1;
  }
  filled.text = filledIn(scenarioText, found.draws);
  if (!model.parse(filled.text, filled, error)) {
    std::cerr << "istrazi: " << error << "\n";
    return 2;
  }
  return -1;
}

int explainTrace(const Options& options) {
  std::string trace;
  Scenario filled;
  Explanation found;
  if (int status = findExplanation(options, trace, filled, found); status >= 0) return status;
  // The schedule found is run once more, judged as every explored run is.
  Judge judge(filled, options.traceJudgesOnly);
  FixedSchedule schedule(found.schedule);
  RunOptions runOptions;
  runOptions.spurious = false;
  RunResult run = istrazi::run(filled, schedule, judge.prepare(runOptions));
  if (schedule.diverged() || run.trace != trace) {
    std::cerr << "istrazi: the schedule found does not replay the trace\n";
    return 2;
  }
  Found result{run, judge(run), 0};
  std::string path = options.out.empty() ? explorerName + ".schedule" : options.out;
  Options saved = options;  // as the search ran it: no spurious wake-up, a point at every access
  saved.spurious = false;
  saved.everyAccess = true;
  if (!writeSchedule(path, filled, saved, result)) {
    std::cerr << "istrazi: cannot write " << path << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  std::cout << "  explained by " << run.steps << " steps of scenario " << filled.text << ": " << path
            << " (replay: istrazi --replay " << path << ")\n"
            << "  " << (result.violation.empty() ? "no violation" : "VIOLATION: " + result.violation) << "\n"
            << "  steps " << scheduleText(found.schedule) << "\n";
  return result.violation.empty() ? 0 : 1;
}

// ---- Play ---------------------------------------------------------------------

// A broken copy as an exercise: its goal, and a scenario in which it can be
// reached by hand (empty where none is given).
struct Exercise {
  std::string goal, scenario;
};

// From the list the tests' build writes beside the copies' explorers, a line
// a copy: its name, goal and scenario, a tab between them.
Exercise exerciseOf(const std::string& copy) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  std::string path(self, static_cast<std::size_t>(n));
  std::ifstream in(path.substr(0, path.rfind('/') + 1) + "istrazi-exercises.txt");
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(copy + "\t")) {
      Exercise exercise;
      std::string rest = line.substr(copy.size() + 1);
      std::size_t tab = rest.find('\t');
      exercise.goal = rest.substr(0, tab);
      if (tab != std::string::npos) exercise.scenario = rest.substr(tab + 1);
      return exercise;
    }
  return {};
}

int playGame(const Options& options) {
  std::string program(provera::nameOf(model.program));
  std::string self = explorerName.starts_with("istrazi-") ? explorerName.substr(8) : explorerName;
  if (!options.copy.empty() && options.copy != self) {
    std::cerr << "istrazi: this is " << explorerName << ", not the explorer of the broken copy " << options.copy << "\n";
    return 2;
  }
  play::Options play;
  play.explorer = explorerName;
  play.spurious = options.spurious;
  play.out = options.out;
  Exercise exercise;
  if (self != program) {
    exercise = exerciseOf(self);
    play.goal = "make it break a rule" + (exercise.goal.empty() ? "" : " (" + exercise.goal + ")");
  }
  if (!options.explain.empty()) {
    std::string trace;
    Explanation found;
    if (int status = findExplanation(options, trace, play.scenario, found); status >= 0) return status;
    play.plan = found.schedule;
    play.spurious = false;
  } else {
    if (options.scenarios.size() > 1) {
      std::cerr << "istrazi: --play plays one scenario\n";
      return 2;
    }
    play.scenario.text = !options.scenarios.empty()    ? options.scenarios.front()
                         : !exercise.scenario.empty() ? exercise.scenario
                         : model.playScenario          ? model.playScenario
                                                       : model.defaults.front();
    std::string error;
    if (!model.parse(play.scenario.text, play.scenario, error)) {
      std::cerr << "istrazi: scenario '" << play.scenario.text << "': " << error << "\n";
      return 2;
    }
  }
  return play::run(play);
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    std::string number;
    if (arg == "--scenario") {
      if (!value(number)) return false;
      options.scenarios.push_back(number);
    } else if (arg == "--bound" || arg == "--repeat" || arg == "--limit") {
      if (!value(number) || number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
          number.size() > 9)
        return false;
      if (arg == "--limit") options.limit = std::stol(number);
      else (arg == "--bound" ? options.bound : options.repeat) = std::stoi(number);
    } else if (arg == "--part") {
      // K/N with 0 <= K < N
      if (!value(number)) return false;
      std::size_t slash = number.find('/');
      if (slash == std::string::npos || !istrazi::number(std::string_view(number).substr(0, slash), 0, 999, options.part) ||
          !istrazi::number(std::string_view(number).substr(slash + 1), 1, 1000, options.parts) || options.part >= options.parts)
        return false;
    } else if (arg == "--no-spurious") options.spurious = false;
    else if (arg == "--all") options.all = true;
    else if (arg == "--traces") options.traces = true;
    else if (arg == "--quiet") options.quiet = true;
    else if (arg == "--trace-judges-only") options.traceJudgesOnly = true;
    else if (arg == "--agree") options.agree = true;
    else if (arg == "--sleep-sets-only") options.reduction = Explorer::Reduction::SleepSets;
    else if (arg == "--no-reduction") options.reduction = Explorer::Reduction::None;
    else if (arg == "--from-the-start") options.fromTheStart = true;
    else if (arg == "--every-access") options.everyAccess = true;
    else if (arg == "--compare-steps") options.compareSteps = true;
    else if (arg == "--out") {
      if (!value(options.out)) return false;
    } else if (arg == "--replay") {
      if (!value(options.replay)) return false;
    } else if (arg == "--explain") {
      if (!value(options.explain)) return false;
    } else if (arg == "--save") {
      if (!value(options.save)) return false;
    } else if (arg == "--play") {
      options.play = true;
    } else if (arg == "--copy") {
      if (!value(options.copy)) return false;
    } else {
      std::cerr << "istrazi: unknown option '" << arg << "'\n";
      return false;
    }
  }
  return options.repeat >= 1;
}

}  // namespace
}  // namespace istrazi

int main(int argc, char** argv) {
  using namespace istrazi;
  explorerName = argv[0];
  explorerName = explorerName.substr(explorerName.rfind('/') + 1);
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    usage(std::cout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--globals") == 0) {
    listGlobals(std::cout);
    return std::cout.flush() ? 0 : 2;
  }
  // istrazi --source: whether a variant's compiled object defines every name
  // this explorer needs, before it is linked.
  if (argc == 4 && std::strcmp(argv[1], "--check-globals") == 0) return checkGlobals(argv[2], argv[3]);
  Options options;
  if (!parseOptions(argc, argv, options)) {
    usage(std::cerr);
    return 2;
  }
  if (options.agree && (!model.judgedByProvera || !model.command)) {
    std::cerr << "istrazi: --agree compares with provera, which does not judge " << explorerName << "\n";
    return 2;
  }
  if (options.agree && (options.bound >= 0 || options.limit > 0)) {
    std::cerr << "istrazi: --agree compares every trace of every schedule; it cannot go with --bound or --limit\n";
    return 2;
  }
  if (options.play) return playGame(options);
  if (!options.copy.empty()) {
    std::cerr << "istrazi: --copy goes with --play\n";
    return 2;
  }
  if (!options.replay.empty()) return replay(options);
  if (!options.explain.empty()) return explainTrace(options);

  std::vector<std::string> texts = options.scenarios.empty() ? model.defaults : options.scenarios;
  if (options.parts > 1) {
    // Part K of N: the K-th of N runs of consecutive scenarios, ordered by
    // their commands, so that the parts of a set can run side by side and
    // --agree explores the other indices of one set of niz-locks commands
    // in one part, not again in each.
    std::ranges::stable_sort(texts, {}, [](const std::string& text) { return Agreement::commandsKey(text); });
    auto boundary = [&](int k) { return texts.begin() + static_cast<std::ptrdiff_t>(texts.size()) * k / options.parts; };
    texts = std::vector<std::string>(boundary(options.part), boundary(options.part + 1));
  }
  std::vector<Scenario> scenarios;
  for (const std::string& text : texts) {
    Scenario scenario;
    scenario.text = text;
    std::string error;
    if (!model.parse(text, scenario, error)) {
      std::cerr << "istrazi: scenario '" << text << "': " << error << "\n";
      return 2;
    }
    scenarios.push_back(std::move(scenario));
  }
  bool violated = false, disagreed = false, stepsDiffer = false;
  long schedules = 0;
  // The scenarios --agree explores beyond those named are reported and
  // counted like them. They are explored for their traces, so only the
  // judges of the trace run there; the named ones have every judge.
  Agreement agreement([&](const Scenario& variant, bool spurious) -> std::optional<std::set<std::string>> {
    Options variantOptions = options;
    variantOptions.spurious = options.spurious && spurious;
    variantOptions.traceJudgesOnly = true;
    Report report = explore(variant, variantOptions);
    schedules += report.schedules;
    violated = violated || report.violated;
    if (!report.exhausted) return std::nullopt;
    return std::move(report.traces);
  });
  std::size_t explored = 0;
  auto start = Clock::now();
  auto summary = [&](const std::string& how) {
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << explorerName << ": " << explored << " of " << scenarios.size() << " scenarios" << how << ", "
              << schedules << " schedules, " << seconds << " s, " << (violated ? "VIOLATION FOUND" : "no violation")
              << (!options.agree ? "" : disagreed ? ", DISAGREEMENT FOUND" : ", provera agrees")
              << (!options.compareSteps ? "" : stepsDiffer ? ", STEPS DIFFER" : ", the steps agree");
    if (options.agree) std::cout << " (agreement checks " << agreement.seconds() << " s)";
    std::cout << "\n";
  };
  // A quick sweep first: every scenario within a few preemptions, where a
  // broken rule almost always shows, so that a fault is reported at once and
  // not after every scenario before it has been exhausted. It says nothing
  // unless it finds a violation; then the full search runs as it always did.
  if (scenarios.size() > 1 && options.bound < 0 && !options.all) {
    Options sweep = options;
    sweep.bound = kSweepBound;
    sweep.agree = sweep.traces = false;
    sweep.limit = 0;
    for (const Scenario& scenario : scenarios) {
      ++explored;
      Report report = explore(scenario, sweep, nullptr, true);
      schedules += report.schedules;
      if (report.violated) {
        violated = true;
        summary(" swept within " + std::to_string(kSweepBound) + " preemptions");
        std::cout.flush();
        return 1;
      }
    }
    explored = 0;
  }
  for (const Scenario& scenario : scenarios) {
    ++explored;
    Report report = explore(scenario, options, options.agree ? &agreement : nullptr);
    schedules += report.schedules;
    violated = violated || report.violated;
    disagreed = disagreed || report.disagreed;
    if (options.compareSteps && report.exhausted)
      stepsDiffer = !sameWithEveryAccess(scenario, options, report, schedules) || stepsDiffer;
    if ((violated || disagreed || stepsDiffer) && !options.all) break;
  }
  if (scenarios.size() > 1) summary("");
  std::cout.flush();
  return violated || disagreed || stepsDiffer ? 1 : 0;
}
