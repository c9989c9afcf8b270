// Everything provera believes about one program, gathered in one place: how
// many workers it starts, what each worker prints and in which order, and what
// the lines of its complete workers must satisfy together (who may be admitted
// beside whom, and what the outcomes say of the array). Each program's rules
// live in its own file, in the order of its protocol.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "workers.hpp"

namespace provera {

struct Rules {
  long workers;     // numbered 0 to workers - 1
  int maxArgument;  // arguments run from 0 to this; -1 where lines carry none
  bool allPresent;  // every worker prints at least one line

  // The phases a worker with this command prints, in order, one letter each:
  // R request, X execution, S success, F failure ("RXS" or "RXF").
  std::vector<std::string_view> (*lifecycles)(Command command);

  // What is wrong with a well-formed line taken alone beyond its argument's
  // range (zadatak fixes the command by worker number); "" when nothing.
  std::string (*lineFault)(const Line& line);

  // Judges the complete workers together; adds to report.violations, and sets
  // report.incomplete when it could not finish.
  void (*judge)(const Workers& workers, const Scope& scope, Report& report);
};

extern const Rules kZadatakRules;
extern const Rules kNizLocksRules;
extern const Rules kNizMarkRules;

const Rules& rulesOf(Program program);

// niz-mark's cheap value rule: whether a read of `index` can show `value` in a
// trace with `deletions` successful deletions and successful appends of the
// values marked in `appended`, whatever the order of the workers.
bool nizMarkValueReachable(int index, int value, int deletions, const std::array<bool, 10>& appended);

}  // namespace provera
