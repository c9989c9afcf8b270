// A finished run judged by every judge: the scheduler's own verdict
// (invariants, deadlock, exit status), the trace by provera, and the judges
// beyond the trace. The search, --replay, --explain and --play all judge this way.
#pragma once

#include <string>
#include <unordered_map>

#include "check.hpp"
#include "istrazi.hpp"
#include "judges/judges.hpp"

namespace istrazi {

// " [last steps: main (ended) at its start, worker 0 at niz-mark/niz.cpp:72]":
// where each thread's last step began, for a report.
std::string lastSteps(const Scenario& scenario, const RunResult& run);

class Judge {
 public:
  Judge(const Scenario& scenario, bool traceOnly);
  // The options of the next run: unless only the trace is judged, its events
  // go to the judges.
  RunOptions prepare(RunOptions options);
  // Empty when the run broke no rule.
  std::string operator()(const RunResult& run);
  std::size_t distinctTraces() const { return verdicts_.size(); }
  const std::unordered_map<std::string, std::string>& verdicts() const { return verdicts_; }

 private:
  std::string verdict(const RunResult& run);

  const Scenario& scenario_;
  Judges judges_;
  bool traceOnly_;
  provera::Scope scope_;
  std::unordered_map<std::string, std::string> verdicts_;
};

}  // namespace istrazi
