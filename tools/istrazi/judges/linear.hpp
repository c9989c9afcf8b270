// Whether what a run's workers saw of the array is what one worker at a time
// would have seen: the outcomes, the values reads show and the final array
// must be those of one sequential execution of the commands on a plain array,
// each command taking effect at a single moment between its request line and
// its outcome line (a niz-mark append at two: its test, then its store).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "istrazi.hpp"

namespace istrazi::linear {

// The array as one worker alone would change it: it starts as 1..9.
struct Array {
  std::vector<int> elements{1, 2, 3, 4, 5, 6, 7, 8, 9};
  bool appendNeedsValueBelowLength = false;

  struct Result {
    bool success = false;
    int value = 0;  // what a successful read found
  };
  // read i and delete i fail when i is past the end; a deletion moves the later
  // elements down; an append adds at the end (and, where the rule is on, fails
  // when its value is not below the length).
  Result apply(Command command, int argument);
};

// One command of a run and what its worker reported.
struct Operation {
  std::string who;  // "worker 2 read 7", for the report
  Command command = Command::None;
  int argument = 0;
  int requested = 0;  // the step of its request line
  int reported = 0;   // the step of its outcome line
  bool success = false;
  std::optional<int> value;  // the value its trace line shows, if it shows one
};

// Empty when some order of the operations, each within its interval, gives
// every reported outcome and leaves `finalArray`; otherwise what was seen.
std::string check(const std::vector<Operation>& operations, const std::vector<int>& finalArray,
                  bool appendNeedsValueBelowLength);

}  // namespace istrazi::linear
