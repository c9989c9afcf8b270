// Runs a program with its standard output on a pseudo-terminal, so that the C
// library flushes each line as it is printed, and stamps every line as it arrives.
#pragma once

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
};

struct RunOptions {
  std::vector<std::string> env;                 // "NAME=value", added to this process's environment
  double timeout = 0;                           // seconds; 0 for none
  double tick = 0.25;                           // seconds between calls of onTick
  std::function<void(const Stamped&)> onLine;   // each complete line, as it arrives
  std::function<void(double now)> onTick;       // while waiting, and at the end
};

// The directory of the running executable, where the programs built beside it are.
std::string executableDirectory();

// The trace as printed: the lines, each with its line feed unless it had none.
std::string printed(const RunResult& run);

RunResult runStamped(const std::vector<std::string>& argv, const RunOptions& options);

}  // namespace timeline
