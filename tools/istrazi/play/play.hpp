// istrazi PROGRAM --play: a person is the scheduler. The screen follows the
// terminal's size; a terminal that cannot move its cursor (TERM unset or
// dumb, or not a terminal at all) gets a plain report after every key.
#pragma once

#include <string>
#include <vector>

#include "istrazi.hpp"

namespace istrazi::play {

struct Options {
  std::string explorer;  // this executable's name, for the title and the saved schedule
  Scenario scenario;
  bool spurious = true;
  std::string goal;       // a broken copy's goal; empty for the program itself
  std::vector<int> plan;  // --explain: the schedule found for a real trace
  std::string out;        // where `s` saves the schedule (default: ./EXPLORER.schedule)
};

// Returns the exit status: 0 once the person quits.
int run(const Options& options);

}  // namespace istrazi::play
