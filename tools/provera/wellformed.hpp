// Every trace a few workers of a program could print, as far as each worker's
// own lines go: each worker's lines in the order its lifecycle allows, with
// every outcome, every value a read could show, and every interleaving of the
// workers. Whether the workers could have run that way together is for
// check() to say; comparing what it accepts of these with what the schedule
// explorer saw tells whether the rules are exact.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "trace.hpp"

namespace provera {

// One worker of a scenario. zadatak fixes the command by the worker's number
// (number mod 3) and niz-locks lines carry no argument: leave it empty there.
struct Participant {
  long worker;
  Command command;
  std::optional<int> argument;
};

// Calls `visit` with the text of every well-formed trace of `workers`, each
// once (zadatak's begin with the worker numbers "0123456789"), and returns how
// many there were. A niz-mark read that succeeds shows each value from 0 to 9
// except those its program's value rule turns away whatever the order.
long forEachWellFormedTrace(Program program, std::span<const Participant> workers,
                            const std::function<void(std::string_view trace)>& visit);

}  // namespace provera
