// A trace regrouped by worker, and the helpers that every program's rules share.
#pragma once

#include <map>
#include <string>
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
  const Line* request() const { return lines.front(); }
  const Line* execution() const { return first(Phase::Execution); }
  const Line* outcome() const { return lines.empty() ? nullptr : lines.back(); }
  bool succeeded() const { return complete && outcome()->phase == Phase::Success; }
  int argument() const { return lines.front()->argument.value_or(-1); }
};

// Complete workers only, by number.
using Workers = std::map<long, Worker>;

// "read", "append", "deletion"
const char* noun(Command command);
// "a read", "an append", "a deletion"
std::string withArticle(Command command);

// A worker prints its execution line once admitted and its outcome before it is
// released, so a worker whose execution line falls inside another's window
// [execution, outcome] was admitted while the other one was.
struct Window {
  const Worker* worker;
  int from, to;  // the execution and outcome lines
};

// The windows of every worker that printed an execution line, by execution line.
std::vector<Window> windows(const Workers& workers);

// What a program's pair rule says of `inner`, whose execution line falls inside
// `outer`'s window; "" when the pair is allowed.
using PairRule = std::string (*)(const Worker& outer, const Worker& inner, const Workers& all);

// Applies `rule` to every pair of overlapping windows; a violation shows at the
// inner worker's execution line.
void checkPairs(const Workers& workers, PairRule rule, std::vector<Violation>& out);

}  // namespace provera
