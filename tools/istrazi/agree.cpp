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

std::vector<Written> written(const std::string& text) {
  std::vector<Written> result;
  for (const auto& fields : entries(text))
    result.push_back({std::string(fields[0]), std::string(fields[1]), std::string(fields[2])});
  return result;
}

bool indexed(const Written& w) { return w.command == "read" || w.command == "delete"; }

// Two workers with the same command (and, for an append, the same value)
// differ only in their numbers: a number shows only in its worker's lines,
// and main starts the workers in the order of their numbers, but a worker
// that has been started and has not yet run has changed nothing, so the
// steps of the one started later can be taken at the same points as before.
// So the scenario that gives one's index to the other prints the traces of
// the first with their numbers swapped. A renaming of the scenario is a
// permutation of its entries that maps each entry to one of the same command
// and value; it is given as the text of the renamed scenario and the workers'
// new numbers.
struct Renaming {
  std::string text;
  std::map<int, int> numbers;  // old worker number -> new one
};

// Every renaming of the scenario `text`, itself among them; none but itself
// past a few workers, where the permutations grow too many to try.
std::vector<Renaming> renamings(const std::string& text) {
  std::vector<Written> entries = written(text);
  auto same = [](const Written& a, const Written& b) {
    return a.command == b.command && (indexed(a) || a.number == b.number);
  };
  std::vector<std::size_t> to(entries.size());
  for (std::size_t k = 0; k < to.size(); ++k) to[k] = k;
  std::vector<Renaming> result;
  do {
    bool fits = true;
    for (std::size_t k = 0; k < to.size() && fits; ++k) fits = same(entries[k], entries[to[k]]);
    if (!fits) continue;
    // Entry k's worker and index pass to entry to[k]'s worker.
    std::vector<Written> renamed = entries;
    Renaming r;
    for (std::size_t k = 0; k < to.size(); ++k) {
      renamed[to[k]].number = entries[k].number;
      r.numbers[std::stoi(entries[k].worker)] = std::stoi(entries[to[k]].worker);
    }
    for (const Written& w : renamed) r.text += (r.text.empty() ? "" : ",") + w.worker + ":" + w.command + ":" + w.number;
    result.push_back(std::move(r));
  } while (entries.size() <= 6 && std::next_permutation(to.begin(), to.end()));
  return result;
}

// `trace` with each line's worker number ("Radnik 7") renamed.
std::string renamed(const std::string& trace, const std::map<int, int>& numbers) {
  static constexpr std::string_view kWorker = "Radnik ";
  std::string result;
  result.reserve(trace.size());
  for (std::size_t at = 0; at < trace.size();) {
    std::size_t end = trace.find('\n', at);
    end = end == std::string::npos ? trace.size() : end + 1;
    std::string_view line(trace.data() + at, end - at);
    std::size_t name = line.find(kWorker);
    std::size_t digits = name == std::string_view::npos ? 0 : name + kWorker.size();
    std::size_t past = digits;
    while (past < line.size() && line[past] >= '0' && line[past] <= '9') ++past;
    auto it = past > digits ? numbers.find(std::stoi(std::string(line.substr(digits, past - digits)))) : numbers.end();
    if (it == numbers.end()) {
      result += line;
    } else {
      result.append(line.substr(0, digits));
      result += std::to_string(it->second);
      result.append(line.substr(past));
    }
    at = end;
  }
  return result;
}

}  // namespace

std::string Agreement::commandsKey(const std::string& text) {
  std::string key;
  for (const auto& fields : entries(text)) {
    // An entry with no command (zadatak's "worker:index") stays whole.
    bool command = fields.size() == 3 && (fields[1] == "read" || fields[1] == "delete");
    std::size_t kept = command ? 2 : fields.size();
    for (std::size_t k = 0; k < kept; ++k) key += std::string(k == 0 ? (key.empty() ? "" : ",") : ":") + std::string(fields[k]);
  }
  return key;
}

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
  std::vector<Written> entries = written(scenario.text);
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
  // needed. A schedule without spurious wake-ups is a schedule too, so the
  // other indices are first explored without them (a fraction of the
  // schedules), and with them only if that did not cover provera's set.
  // Otherwise the search goes through every index before it says so.
  Keyed& keyed = keyed_[commandsKey(scenario.text)];
  if (!keyed.accepted) keyed.accepted = acceptedFor(scenario, false);
  addRenamed(scenario.text, traces, keyed.explored, keyed);
  std::vector<std::string> variants = indexVariants(scenario);
  auto covered = [&] {
    return std::includes(keyed.given.begin(), keyed.given.end(), keyed.accepted->traces.begin(), keyed.accepted->traces.end());
  };
  long run = 0;
  for (bool spurious : {false, true}) {
    std::set<std::string>& done = spurious ? keyed.explored : keyed.withoutSpurious;
    for (const std::string& text : variants) {
      if (covered()) break;
      if (keyed.explored.contains(text) || done.contains(text)) continue;
      Scenario variant;
      variant.text = text;
      std::string error;
      if (!model.parse(text, variant, error)) {
        out << head << "DISAGREEMENT not decided: scenario " << text << ": " << error << "\n";
        return false;
      }
      auto start = std::chrono::steady_clock::now();
      std::optional<std::set<std::string>> found = explore_(variant, spurious);
      seconds_ -= std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (!found) {
        out << head << "DISAGREEMENT not decided: the search of " << text << " stopped at a violation\n";
        return false;
      }
      ++run;
      addRenamed(text, *found, done, keyed);
    }
  }
  long covering = std::count_if(variants.begin(), variants.end(), [&](const std::string& t) {
    return keyed.explored.contains(t) || keyed.withoutSpurious.contains(t);
  });
  return compare(*keyed.accepted, keyed.given,
                 head + "over every index (" + std::to_string(covering) + " of its " + std::to_string(variants.size()) +
                     " index scenarios covered, " + std::to_string(run) + " of them explored here, the others " +
                     "by renaming workers or explored before), ",
                 out);
}

void Agreement::addRenamed(const std::string& text, const std::set<std::string>& traces, std::set<std::string>& done,
                           Keyed& keyed) {
  for (const Renaming& r : renamings(text)) {
    done.insert(r.text);
    for (const std::string& trace : traces) keyed.given.insert(renamed(trace, r.numbers));
  }
}

}  // namespace istrazi
