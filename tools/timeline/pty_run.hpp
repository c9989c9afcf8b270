// Runs a program with its standard output on a pseudo-terminal, so that the C
// library flushes each line as it is printed, and stamps every line as it arrives.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "stamped.hpp"

namespace timeline {

struct RunResult {
  int status = -1;  // exit status; -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it
  bool timedOut = false;
  std::string errors;  // what it wrote to standard error
  std::vector<Stamped> lines;
  bool unfinished = false;  // the last line had no line feed
  std::string failure;  // why it could not be run at all; empty when it ran
  int stopped = 0;      // the stop reason when the run was ended early (see stopRuns)
};

struct RunOptions {
  std::vector<std::string> env;                 // "NAME=value" set, or "NAME" unset, in this process's environment
  double timeout = 0;                           // seconds; 0 for none
  double tick = 0.25;                           // seconds between calls of onTick
  std::function<void(const Stamped&)> onLine;   // each complete line, as it arrives
  std::function<void(double now)> onTick;       // while waiting, and at the end
  std::function<void(pid_t pid, int terminal)> onStart;  // once started: its pid, our end of its terminal
  unsigned short columns = 0, rows = 0;         // the terminal's size; 0 leaves it unset
};

// Ending runs early. After stopRuns, every run in progress kills its program,
// reaps it and returns with `stopped` set, calling no more callbacks; runs
// started later end at once. `why` is a signal number, or -1 for a failure of
// the caller's own (its output is gone, say).
void stopRuns(int why);
int stopReason();  // 0 until stopRuns
// SIGINT, SIGTERM and SIGHUP call stopRuns with their number; SIGPIPE is
// ignored, so that a write to a closed pipe fails with EPIPE and the caller
// decides. The caller re-raises the signal once its runs are over.
void stopRunsOnSignals();
// Ends this process by `signal` with its default action; for a caller that
// has cleaned up after a stop.
[[noreturn]] void dieOf(int signal);

// The directory of the running executable, where the programs built beside it are.
std::string executableDirectory();

// The trace as printed: the lines, each with its line feed unless it had none.
std::string printed(const RunResult& run);

RunResult runStamped(const std::vector<std::string>& argv, const RunOptions& options);

}  // namespace timeline
