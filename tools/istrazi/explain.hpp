// --explain: the search for a schedule that prints exactly a given trace.
#pragma once

#include <string>
#include <vector>

#include "istrazi.hpp"

namespace istrazi {

struct Explanation {
  bool found = false;
  bool gaveUp = false;           // the search met its bound: nothing is claimed
  std::vector<int> schedule;     // the thread of every step, when found
  std::vector<std::pair<int, int>> draws;  // each chosen draw: the worker and the value
  int furthestLine = 0;          // the most lines any schedule printed as the trace has them
  long states = 0;               // distinct states visited
};

// Searches the schedules of `scenario` (whose chosen draws the search fills
// in) for one that prints `trace` line by line. Only a step whose print is
// the trace's next line may print, and a worker about to print a line that is
// not its own next one ends the branch at once; states already met are not
// explored again.
Explanation explain(const Scenario& scenario, const std::string& trace, long maxStates);

}  // namespace istrazi
