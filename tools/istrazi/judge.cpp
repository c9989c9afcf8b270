#include "judge.hpp"

namespace istrazi {

std::string lastSteps(const Scenario& scenario, const RunResult& run) {
  std::string text;
  auto add = [&](int thread) {
    uintptr_t pc = run.lastPc[static_cast<std::size_t>(thread)];
    text += (text.empty() ? "" : ", ") + threadName(thread) + ((run.ended & bit(thread)) ? " (ended)" : "") +
            (pc ? " at " + sourceLine(pc) : " at its start");
  };
  add(kMain);
  for (const Participant& p : scenario.participants)
    if (threadOf(p.worker) < kMaxThreads) add(threadOf(p.worker));
  return " [last steps: " + text + "]";
}

Judge::Judge(const Scenario& scenario, bool traceOnly) : scenario_(scenario), judges_(scenario), traceOnly_(traceOnly) {
  for (const Participant& p : scenario.participants) scope_.workers.insert(p.worker);
}

RunOptions Judge::prepare(RunOptions options) {
  if (!traceOnly_) options.observer = &judges_;
  return options;
}

std::string Judge::operator()(const RunResult& run) {
  std::string violation = verdict(run);
  if (violation.empty() && !traceOnly_) violation = judges_.finished(run);
  return violation.empty() ? violation : violation + lastSteps(scenario_, run);
}

std::string Judge::verdict(const RunResult& run) {
  if (!run.violation.empty()) return run.violation;
  auto [it, fresh] = verdicts_.try_emplace(run.trace);
  if (fresh && model.judgedByProvera) {
    provera::Report report = provera::check(model.program, run.trace, scope_);
    // An incomplete check is no verdict, so the run is not passed either.
    if (!report.violations.empty())
      it->second = "provera: " + provera::describe(report.violations.front());
    else if (report.incomplete)
      it->second = "provera: " + report.summary;
  }
  return it->second;
}

}  // namespace istrazi
