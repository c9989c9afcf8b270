// Judges a trace against its program's rules: the form of every line, each
// worker's lifecycle, who may run beside whom, and what the outcomes say about
// the array.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "trace.hpp"

namespace provera {

struct Report {
  std::vector<Violation> violations;  // in line order
  std::string summary;                // one line: workers and outcomes
  // A search met one of its bounds before it could explain the trace: nothing
  // is claimed either way, and the trace is not called valid.
  bool incomplete = false;
  long searchStates = 0;  // states a search visited (niz-mark's order search)
  bool valid() const { return violations.empty() && !incomplete; }
};

// The workers that take part in a run. The others end at once and print
// nothing; everything else about the trace is judged as usual.
struct Scope {
  std::set<long> workers;  // empty: every worker of the program
  // The most states a search may visit before the check gives up as
  // incomplete; far beyond what any trace of the programs needs.
  long maxSearchStates = 1000000;
};

Report check(Program program, std::string_view text, const Scope& scope = {});

// How many workers the program starts (numbered 0 to this less one).
long workerCount(Program program);

}  // namespace provera
