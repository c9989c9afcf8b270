// One run steered by a person: the scheduler's step-by-step interface, with
// every step judged as the search judges it. The program's main thread goes
// by itself whenever it can; the person chooses among the workers.
//
// Undo runs the schedule again from the start, one step short: the scheduler
// is deterministic, so that gives back the very state, and with it the state
// of every judge and of the model's own picture of the run, which a snapshot
// of the program's memory does not hold.
#pragma once

#include <string>
#include <vector>

#include "istrazi.hpp"
#include "judge.hpp"

namespace istrazi::play {

class Session {
 public:
  Session(const Scenario& scenario, bool spurious);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void restart();
  // One step of `thread`; false, with nothing done, when it cannot run now
  // or the run is over.
  bool step(int thread);
  // Back to before the last step chosen; false when there is none.
  bool undo();

  const Scenario& scenario() const { return scenario_; }
  bool spurious() const { return spurious_; }
  const RunResult& result() const { return result_; }
  bool over() const { return over_; }
  // What the run broke, as the search reports it; empty while it broke nothing.
  const std::string& verdict() const { return verdict_; }
  int chosen() const { return static_cast<int>(marks_.size()); }  // steps chosen so far
  // The participants' threads, in the scenario's order.
  std::vector<int> workers() const;

 private:
  void begin();
  void take(int thread);
  void mainGoes();
  void settle();

  const Scenario& scenario_;
  bool spurious_;
  Judge judge_;
  RunOptions options_;
  RunResult result_;
  std::string verdict_;
  bool over_ = false;
  std::vector<std::size_t> marks_;  // the schedule's length before each chosen step
};

}  // namespace istrazi::play
