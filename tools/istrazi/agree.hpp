// The agreement of provera with the schedules (--agree): for a scenario whose
// every schedule was run, the set of well-formed traces provera accepts for
// its workers must equal the set of distinct traces the schedules printed.
// A trace provera accepts and no schedule gives is a hole in provera's rules;
// a trace a schedule gives and provera rejects is a false alarm, or a fault
// of the program. A program stricter than its scheme shows as the first kind.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "istrazi.hpp"

namespace istrazi {

// What provera accepts of every well-formed trace the workers of a scenario
// could print.
struct Accepted {
  std::set<std::string> traces;
  long wellFormed = 0;
  long gaveUp = 0;  // traces whose check met its search bound: not accepted
};

class Agreement {
 public:
  // Runs every schedule of a scenario (`spurious`: with spurious wake-ups, if
  // the search allows them) and gives its distinct traces; nullopt when the
  // search did not get through it (it stopped at a violation).
  using Explore = std::function<std::optional<std::set<std::string>>(const Scenario&, bool spurious)>;
  explicit Agreement(Explore explore) : explore_(std::move(explore)) {}

  // After every schedule of `scenario` printed `traces`: compares them with
  // what provera accepts, writes the counts and, for each side, the first few
  // traces the other lacks, and says whether the sets are equal.
  //
  // niz-locks lines carry no index, so provera's set is that of the commands
  // alone; it is compared with the traces of the same commands over every
  // index a draw can give (the scenario's own index is one of them). Those
  // are explored here through `explore`, as far as needed.
  bool check(const Scenario& scenario, const std::set<std::string>& traces, std::ostream& out);

  // Seconds spent building, judging and comparing traces so far, not
  // counting the explorations of niz-locks' other indices.
  double seconds() const { return seconds_; }

  // The scenarios that stand for every index the workers of `scenario` can
  // draw, the scenario's own text among them when it is one (niz-locks).
  static std::vector<std::string> indexVariants(const Scenario& scenario);

  // A scenario's commands without the indices of its reads and deletions:
  // niz-locks scenarios with equal keys are compared with one set (and their
  // other indices explored once).
  static std::string commandsKey(const std::string& text);

 private:
  // niz-locks: what is known of one set of commands.
  struct Keyed {
    std::optional<Accepted> accepted;  // by provera
    std::set<std::string> given;       // by the schedules of the scenarios explored
    std::set<std::string> explored;    // every schedule run, of these texts or of a renaming
    std::set<std::string> withoutSpurious;  // every schedule without spurious wake-ups run, likewise
  };
  // Adds the traces of scenario `text` and of each of its renamings (the
  // same traces with interchangeable workers' numbers swapped) to `keyed`,
  // and their texts to `done`.
  static void addRenamed(const std::string& text, const std::set<std::string>& traces, std::set<std::string>& done,
                         Keyed& keyed);
  bool compareAll(const Scenario& scenario, const std::set<std::string>& traces, std::ostream& out);
  Explore explore_;
  double seconds_ = 0;
  std::map<std::string, Keyed> keyed_;  // by the commands without their indices
};

}  // namespace istrazi
