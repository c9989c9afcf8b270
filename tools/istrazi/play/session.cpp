#include "session.hpp"

namespace istrazi::play {

Session::Session(const Scenario& scenario, bool spurious)
    : scenario_(scenario), spurious_(spurious), judge_(scenario, false) {
  restart();
}

std::vector<int> Session::workers() const {
  std::vector<int> threads;
  for (const Participant& p : scenario_.participants)
    if (threadOf(p.worker) < kMaxThreads) threads.push_back(threadOf(p.worker));
  return threads;
}

void Session::begin() {
  RunOptions base;
  base.spurious = spurious_;
  options_ = judge_.prepare(base);
  result_ = RunResult{};
  verdict_.clear();
  over_ = false;
  startRun(scenario_, options_, result_);
}

void Session::restart() {
  begin();
  marks_.clear();
  mainGoes();
  settle();
}

void Session::take(int thread) {
  std::string broken = judgedStep(thread, result_);
  if (!broken.empty()) {
    result_.violation = broken;
    over_ = true;
  }
}

void Session::mainGoes() {
  while (!over_ && (runnable() & bit(kMain))) take(kMain);
}

// Ends the run once a rule is broken or no thread can go on, and judges it:
// threads left waiting while the process has not exited are a deadlock.
void Session::settle() {
  if (!over_ && runnable() != 0) return;
  if (!over_ && !allEnded() && !processExited()) {
    result_.deadlock = true;
    result_.violation = deadlockReport();
  }
  over_ = true;
  endRun(result_);
  verdict_ = judge_(result_);
}

bool Session::step(int thread) {
  if (over_ || thread == kMain || !(runnable() & bit(thread))) return false;
  marks_.push_back(result_.schedule.size());
  take(thread);
  mainGoes();
  settle();
  return true;
}

bool Session::undo() {
  if (marks_.empty()) return false;
  std::vector<int> steps(result_.schedule.begin(), result_.schedule.begin() + static_cast<long>(marks_.back()));
  std::vector<std::size_t> marks(marks_.begin(), marks_.end() - 1);
  begin();
  for (int thread : steps) take(thread);
  marks_ = marks;
  settle();
  return true;
}

}  // namespace istrazi::play
