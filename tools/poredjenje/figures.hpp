// The figures by which the three schemes are compared, for one run and over many.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "stamped.hpp"

namespace poredjenje {

// One run, with times in pause-seconds (the unit of the programs' pauses).
struct RunFigures {
  double length = 0;         // from the first line to the last
  double meanExecuting = 0;  // workers executing at once, averaged over the run
  int maxExecuting = 0;
  std::array<std::vector<double>, 3> waits;  // by command: from request to execution
  std::array<int, 3> commands{};
  std::array<int, 3> failures{};
};

// `secondsPerPause`: how long a pause-second lasted in this run.
RunFigures measure(provera::Program program, const std::vector<timeline::Stamped>& lines, double secondsPerPause);

struct Summary {
  provera::Program program;
  std::vector<RunFigures> runs;
  int failedChecks = 0;  // traces that provera rejected, or runs that failed
};

// The side-by-side table of the summaries.
std::string table(const std::vector<Summary>& summaries);

}  // namespace poredjenje
