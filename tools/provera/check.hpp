// Judges a trace against its program's rules: the form of every line, each
// worker's lifecycle, who may run beside whom, and what the outcomes say about
// the array.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "trace.hpp"

namespace provera {

struct Report {
  std::vector<Violation> violations;  // in line order
  std::string summary;                // one line: workers and outcomes
  bool valid() const { return violations.empty(); }
};

Report check(Program program, std::string_view text);

}  // namespace provera
