// zadatak's admission rules, driven pause by pause through the seam.
//
// Every worker is first held at its request pause; a scenario then lets chosen
// workers on one pause at a time and watches who waits in the monitor.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "child.hpp"

namespace {

using seam::Build;
using seam::Child;

constexpr int kWorkers = 10;
const char* const kCommands[3] = {"CITANJE", "DODAVANJE", "BRISANJE"};

// The worker's trace line for a phase, given the argument main drew for it.
std::string line(const char* phase, int worker, int argument) {
  return std::string(phase) + ": Радник " + std::to_string(worker) + " наредба " +
         kCommands[worker % 3] + " — " + std::to_string(argument);
}

class Scenario : public ::testing::TestWithParam<Build> {
 protected:
  // Starts zadatak with these arguments (worker k draws arguments[k]) and waits
  // until every worker is held at its request pause.
  void start(std::array<int, kWorkers> arguments) {
    arguments_ = arguments;
    std::string script = "main:";
    for (int a : arguments) script += std::to_string(a) + ",";
    child_.emplace(seam::Launch(seam::programPath("zadatak", GetParam()), {"SEAM_RAND=" + script}, true));
    for (int w = 0; w < kWorkers; ++w) ASSERT_TRUE(child_->waitPause(w)) << child_->describe();
  }

  // Lets the worker past its current pause and waits for its next one.
  void step(int worker) {
    child_->release(worker);
    ASSERT_TRUE(child_->waitPause(worker)) << child_->describe();
  }

  // Lets the worker past its last pause and waits for its end.
  void finishWorker(int worker) {
    child_->release(worker);
    ASSERT_TRUE(child_->waitEnd(worker)) << child_->describe();
  }

  std::string phaseLine(const char* phase, int worker) const {
    return line(phase, worker, arguments_[static_cast<size_t>(worker)]);
  }

  // Position of the worker's line for the phase in the trace so far, -1 if absent.
  long position(const char* phase, int worker) {
    std::vector<std::string> lines = child_->lines();
    if (!lines.empty() && lines[0].starts_with("0123456789")) lines[0].erase(0, 10);
    auto it = std::find(lines.begin(), lines.end(), phaseLine(phase, worker));
    return it == lines.end() ? -1 : it - lines.begin();
  }

  void expectCleanEnd() {
    seam::Outcome outcome = child_->finish();
    EXPECT_EQ(outcome.status, 0) << outcome.describe();
    EXPECT_EQ(outcome.lines().size(), 30u) << outcome.describe();
  }

  std::optional<Child> child_;
  std::array<int, kWorkers> arguments_{};
};

TEST_P(Scenario, DeletionAdmitsReadersBelowItsIndexOnly) {
  // Reader 0 reads 3, deletion 2 deletes 4, reader 3 reads 4.
  start({3, 0, 4, 4, 0, 0, 0, 0, 0, 0});
  step(2);  // the deletion is admitted and executes
  step(0);  // a reader below its index is admitted beside it
  EXPECT_GE(position("ИЗВРШАВАЊЕ", 0), 0);

  child_->release(3);  // a reader of the index itself must wait
  ASSERT_TRUE(child_->waitWaiting(3)) << child_->describe();
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 3), -1);

  step(2);
  finishWorker(2);
  ASSERT_TRUE(child_->waitPause(3)) << child_->describe();
  EXPECT_GT(position("ИЗВРШАВАЊЕ", 3), position("УСПЕХ", 2));
  expectCleanEnd();
}

TEST_P(Scenario, DeletionWaitsForEveryReaderWithoutHoldingNewOnesBack) {
  start({5, 0, 1, 7, 0, 0, 0, 0, 0, 0});
  step(0);             // reader 0 runs
  child_->release(2);  // the deletion arrives and waits for it
  ASSERT_TRUE(child_->waitWaiting(2)) << child_->describe();
  step(3);  // a reader arriving after the waiting deletion is still admitted
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 2), -1);

  step(0);
  std::size_t mark = child_->mark();
  finishWorker(0);  // its release wakes the deletion, which finds reader 3 still running
  ASSERT_TRUE(child_->waitWaiting(2, mark)) << child_->describe();
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 2), -1);

  step(3);
  finishWorker(3);
  ASSERT_TRUE(child_->waitPause(2)) << child_->describe();
  EXPECT_GT(position("ИЗВРШАВАЊЕ", 2), position("УСПЕХ", 3));
  expectCleanEnd();
}

TEST_P(Scenario, AppendsRunOneAtATimeAndBesideReaders) {
  start({0, 5, 0, 0, 6, 0, 0, 0, 0, 0});
  step(1);  // append 1 is admitted
  step(0);  // a reader runs beside it
  EXPECT_GE(position("ИЗВРШАВАЊЕ", 0), 0);

  child_->release(4);  // the second append waits
  ASSERT_TRUE(child_->waitWaiting(4)) << child_->describe();
  step(1);
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 4), -1);
  finishWorker(1);
  ASSERT_TRUE(child_->waitPause(4)) << child_->describe();
  EXPECT_GT(position("ИЗВРШАВАЊЕ", 4), position("УСПЕХ", 1));
  expectCleanEnd();
}

TEST_P(Scenario, CommandsPastTheCountExecuteThenFail) {
  // Deletion 2 removes index 0; then reader 0 of 8 and deletion 5 of 8 are past
  // the count, and append 1 of the value 0 still succeeds.
  start({8, 0, 0, 0, 0, 8, 0, 0, 0, 0});
  for (int worker : {2, 0, 5, 1}) {
    step(worker);
    step(worker);
    finishWorker(worker);
  }
  for (int worker : {0, 5}) {
    EXPECT_GE(position("ИЗВРШАВАЊЕ", worker), 0);
    EXPECT_GT(position("НЕУСПЕХ", worker), position("ИЗВРШАВАЊЕ", worker));
  }
  EXPECT_GE(position("УСПЕХ", 2), 0);
  EXPECT_GE(position("УСПЕХ", 1), 0);
  expectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(Builds, Scenario, ::testing::Values(Build::Plain, Build::Tsan),
                         [](const auto& info) { return std::string(seam::buildName(info.param)); });

}  // namespace
