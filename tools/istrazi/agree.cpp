#include "agree.hpp"

#include <algorithm>
#include <chrono>
#include <sstream>

#include "check.hpp"
#include "scenario.hpp"
#include "wellformed.hpp"

namespace istrazi {
namespace {

constexpr std::size_t kShown = 3;  // traces shown of each side's difference

Accepted acceptedFor(const Scenario& scenario, bool withArguments) {
  std::vector<provera::Participant> workers;
  provera::Scope scope;
  for (const Participant& p : scenario.participants) {
    scope.workers.insert(p.worker);
    Command command = Command::None;
    int argument = 0;
    model.command(p, command, argument);
    // A worker with no command prints nothing.
    if (command == Command::None) continue;
    workers.push_back({p.worker, static_cast<provera::Command>(command),
                       withArguments ? std::optional<int>(argument) : std::nullopt});
  }
  Accepted accepted;
  accepted.wellFormed = provera::forEachWellFormedTrace(model.program, workers, [&](std::string_view trace) {
    provera::Report report = provera::check(model.program, trace, scope);
    if (report.valid()) accepted.traces.emplace(trace);
    accepted.gaveUp += report.incomplete && report.violations.empty();
  });
  return accepted;
}

void showTraces(const std::vector<const std::string*>& traces, const char* what, std::ostream& out) {
  if (traces.empty()) return;
  out << "  " << traces.size() << " " << what << (traces.size() > kShown ? "; the first " + std::to_string(kShown) : "")
      << ":\n";
  for (std::size_t i = 0; i < traces.size() && i < kShown; ++i) {
    out << "  --- " << i + 1 << "\n";
    std::istringstream lines(*traces[i]);
    for (std::string line; std::getline(lines, line);) out << "    " << line << "\n";
  }
}

// Writes the comparison of provera's set with the schedules' and says whether they are equal.
bool compare(const Accepted& accepted, const std::set<std::string>& given, const std::string& head, std::ostream& out) {
  std::vector<const std::string*> onlyAccepted, onlyGiven;
  for (const std::string& t : accepted.traces)
    if (!given.contains(t)) onlyAccepted.push_back(&t);
  for (const std::string& t : given)
    if (!accepted.traces.contains(t)) onlyGiven.push_back(&t);
  bool equal = onlyAccepted.empty() && onlyGiven.empty();
  out << head << (equal ? "agreement: " : "DISAGREEMENT: ") << "provera accepts " << accepted.traces.size() << " of "
      << accepted.wellFormed << " well-formed traces, the schedules give " << given.size()
      << (equal ? ", the same set" : "");
  if (accepted.gaveUp > 0) out << "; provera's search gave up on " << accepted.gaveUp;
  out << "\n";
  showTraces(onlyAccepted, "accepted by provera that no schedule gives", out);
  showTraces(onlyGiven, "given by a schedule that provera rejects", out);
  return equal;
}

// ---- niz-locks: every index ------------------------------------------------------

// A niz-locks entry as the scenario wrote it: its worker, command and number.
struct Written {
  std::string worker, command, number;
};

std::vector<Written> written(const Scenario& scenario) {
  std::vector<Written> result;
  for (const auto& fields : entries(scenario.text))
    result.push_back({std::string(fields[0]), std::string(fields[1]), std::string(fields[2])});
  return result;
}

bool indexed(const Written& w) { return w.command == "read" || w.command == "delete"; }

// The commands without their indices: scenarios with equal keys are compared alike.
std::string commandsKey(const Scenario& scenario) {
  std::string key;
  for (const Written& w : written(scenario))
    key += (key.empty() ? "" : ",") + w.worker + ":" + w.command + (indexed(w) ? "" : ":" + w.number);
  return key;
}

}  // namespace

// A worker draws its index below the count it reads; the count starts at 9
// and moves only by the scenario's own appends (up) and successful deletions
// (down), so it stays within [9 - D, 9 + A]. The program compares an index
// only with the count (the tests against the end, the loops that take a range
// up to the count) and, through the element locks, with the other workers'
// indices (whether a reader's element or a range's start lies inside another
// range); no trace line shows an index, and a reader reads no slot. So two
// choices of indices that order the workers' indices alike among themselves
// and alike against every count from 9 - D up run the same lock steps on
// corresponding elements, but for ranges taking more or fewer elements no
// other worker touches, and print the same traces. Indices below every count
// matter only by their order: the ranks 0, 1, 2... stand for them. Indices
// from 9 - D up stand for themselves. A scenario entry N draws N modulo the
// count, which is N itself wherever the count lies above N, so each such
// choice is one scenario; and every scenario's draw is one a real run makes.
std::vector<std::string> Agreement::indexVariants(const Scenario& scenario) {
  std::vector<Written> entries = written(scenario);
  int deletions = 0, appends = 0, drawing = 0;
  for (const Written& w : entries) {
    deletions += w.command == "delete";
    appends += w.command == "append";
    drawing += indexed(w);
  }
  int least = std::max(9 - deletions, 0);  // the least the count can fall to
  int highest = std::min(9 + appends - 1, 28);
  std::vector<int> values;
  for (int v = 0; v < std::min(drawing, least); ++v) values.push_back(v);
  for (int v = least; v <= highest; ++v) values.push_back(v);
  if (values.empty()) values.push_back(0);

  std::vector<std::string> texts;
  std::vector<int> chosen(static_cast<std::size_t>(drawing), 0);
  std::vector<std::size_t> at(chosen.size(), 0);
  for (;;) {
    // Ranks below the count: those used must be 0, 1, ... with no gap.
    std::set<int> low;
    for (std::size_t k = 0; k < chosen.size(); ++k)
      if (values[at[k]] < least) low.insert(values[at[k]]);
    if (low.empty() || *low.rbegin() == static_cast<int>(low.size()) - 1) {
      std::string text;
      std::size_t k = 0;
      for (const Written& w : entries)
        text += (text.empty() ? "" : ",") + w.worker + ":" + w.command + ":" +
                (indexed(w) ? std::to_string(values[at[k++]]) : w.number);
      texts.push_back(text);
    }
    std::size_t k = 0;
    while (k < at.size() && ++at[k] == values.size()) at[k++] = 0;
    if (k == at.size()) break;
  }
  return texts;
}

bool Agreement::check(const Scenario& scenario, const std::set<std::string>& traces, std::ostream& out) {
  auto start = std::chrono::steady_clock::now();
  bool equal = compareAll(scenario, traces, out);
  seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return equal;
}

bool Agreement::compareAll(const Scenario& scenario, const std::set<std::string>& traces, std::ostream& out) {
  std::string head = "  " + scenario.text + ": ";
  if (model.program != provera::Program::NizLocks) return compare(acceptedFor(scenario, true), traces, head, out);

  // Every trace a schedule gives is one a real run prints, and provera has
  // judged it already; so the sets are equal once the traces of the scenarios
  // explored cover what provera accepts, and only then are more indices
  // needed. Otherwise the search goes through every index before it says so.
  Keyed& keyed = keyed_[commandsKey(scenario)];
  if (!keyed.accepted) keyed.accepted = acceptedFor(scenario, false);
  keyed.given.insert(traces.begin(), traces.end());
  keyed.explored.insert(scenario.text);
  std::vector<std::string> variants = indexVariants(scenario);
  auto covered = [&] {
    return std::includes(keyed.given.begin(), keyed.given.end(), keyed.accepted->traces.begin(), keyed.accepted->traces.end());
  };
  for (const std::string& text : variants) {
    if (covered()) break;
    if (!keyed.explored.insert(text).second) continue;
    Scenario variant;
    variant.text = text;
    std::string error;
    if (!model.parse(text, variant, error)) {
      out << head << "DISAGREEMENT not decided: scenario " << text << ": " << error << "\n";
      return false;
    }
    auto start = std::chrono::steady_clock::now();
    std::optional<std::set<std::string>> found = explore_(variant);
    seconds_ -= std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!found) {
      out << head << "DISAGREEMENT not decided: the search of " << text << " stopped at a violation\n";
      return false;
    }
    keyed.given.insert(found->begin(), found->end());
  }
  long tried = std::count_if(variants.begin(), variants.end(), [&](const std::string& t) { return keyed.explored.contains(t); });
  return compare(*keyed.accepted, keyed.given,
                 head + "over every index (" + std::to_string(tried) + " of its " + std::to_string(variants.size()) +
                     " index scenarios explored), ",
                 out);
}

}  // namespace istrazi
