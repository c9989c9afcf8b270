// Whole real runs, perturbed, judged by both provera and istrazi --explain:
// the two must give the same verdict on every trace.
#pragma once

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace perturbed {

// Swap two adjacent lines, drop a line, turn a success into a failure or back,
// or change the value a niz-mark read shows.
enum class Kind { Swap, Drop, Outcome, Value };
const char* kindName(Kind kind);

// `trace` changed in one way of `kind` chosen with `random`; empty when the
// trace has nothing to change that way.
std::string perturb(const std::string& trace, Kind kind, std::mt19937& random);

// A sped-up whole run of `program`'s test build, with late starts and slow prints.
std::string realRun(const std::string& program);

struct Verdicts {
  bool proveraAccepts = false;
  enum class Explain { Found, NoSchedule, GaveUp } explain = Explain::GaveUp;
  double explainSeconds = 0;
  std::string explainOutput;
  // provera accepts the trace exactly when --explain finds a schedule for it.
  // A search that gave up found none, so it agrees only with a rejection:
  // that claims less than a proof that no schedule prints the trace.
  bool agree() const { return proveraAccepts == (explain == Explain::Found); }
  // "found, accepted", "no schedule, rejected", "none found, rejected" or
  // "DISAGREE".
  const char* name() const;
};

// provera's verdict and whether `istrazi --explain` (at most `maxStates`
// states) finds a schedule that prints `trace`. A trace provera accepts must
// be found: if the search gave up on one, it is made again with at most
// `acceptedMaxStates` states, when that is more.
Verdicts judge(const std::string& program, const std::string& trace, long maxStates, long acceptedMaxStates = 0);

}  // namespace perturbed
