// Run control: running a program or loading a saved run, shown as it goes,
// and the verdict at the end. Everything shown goes through show(), which
// stops the runs when standard output fails.
#pragma once

#include <optional>
#include <string>

#include "pty_run.hpp"
#include "terminal.hpp"

namespace prikaz {

// Writes to standard output; after a failed write it writes nothing more and
// stops the runs (SIGPIPE's number for a closed pipe, -1 for other failures).
void show(const std::string& text);

// Runs the program built beside prikaz, showing it live; nullopt (with a
// message) when it cannot be run.
std::optional<timeline::RunResult> runProgram(provera::Program program, const Terminal& terminal);

// A run saved with --save, shown at once; nullopt (with a message) when it
// cannot be read or is not a saved run.
std::optional<timeline::RunResult> loadRun(provera::Program program, const std::string& path,
                                           const Terminal& terminal);

// How the program ended and provera's verdict; false when the run or its trace
// is not as it should be.
bool judge(provera::Program program, const timeline::RunResult& run);

}  // namespace prikaz
