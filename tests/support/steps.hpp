// Drives a program started in step mode. Each helper fails the test, showing
// the events and output so far, when the program does not get where it should.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "child.hpp"

namespace seam {

class Steps {
 protected:
  void go(int worker) { ASSERT_TRUE(child->start(worker)) << child->describe(); }
  void pause(int worker) { ASSERT_TRUE(child->waitPause(worker)) << child->describe(); }
  // Lets the worker past its current pause and waits for its next one.
  void step(int worker) {
    child->release(worker);
    pause(worker);
  }
  // Lets the worker past its last pause and waits for its end.
  void lastStep(int worker) {
    child->release(worker);
    ASSERT_TRUE(child->waitEnd(worker)) << child->describe();
  }
  void waiting(int worker, std::size_t since = 0) {
    ASSERT_TRUE(child->waitWaiting(worker, since)) << child->describe();
  }
  void blocked(int worker) { ASSERT_TRUE(child->waitBlocked(worker)) << child->describe(); }

  // Where the line stands in the trace so far, -1 if it is not there yet
  // (zadatak's leading worker numbers are not part of its first line).
  long position(const std::string& text) {
    std::vector<std::string> lines = child->lines();
    if (!lines.empty() && lines[0].starts_with("0123456789")) lines[0].erase(0, 10);
    auto it = std::find(lines.begin(), lines.end(), text);
    return it == lines.end() ? -1 : it - lines.begin();
  }

  std::optional<Child> child;
};

}  // namespace seam
