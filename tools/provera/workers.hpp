// A trace regrouped by worker; shared by the checks.
#pragma once

#include <map>
#include <vector>

#include "trace.hpp"

namespace provera {

struct Worker {
  long id = 0;
  Command command = Command::Read;
  std::vector<const Line*> lines;
  bool complete = false;  // its lines form a whole, valid lifecycle

  const Line* first(Phase phase) const {
    for (const Line* line : lines)
      if (line->phase == phase) return line;
    return nullptr;
  }
  const Line* last(Phase phase) const {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
      if ((*it)->phase == phase) return *it;
    return nullptr;
  }
  const Line* execution() const { return first(Phase::Execution); }
  const Line* outcome() const { return lines.empty() ? nullptr : lines.back(); }
  bool succeeded() const { return complete && outcome()->phase == Phase::Success; }
  int argument() const { return lines.front()->argument.value_or(-1); }
};

using Workers = std::map<long, Worker>;

// niz-mark: searches for an order of every worker's length test and change that
// explains each outcome and each value read.
void replayNizMark(const Workers& workers, std::vector<Violation>& violations);

}  // namespace provera
