// zadatak's admission rules, driven pause by pause through the seam.
//
// Every worker is first held at its request pause; a scenario then lets chosen
// workers on one pause at a time and watches who waits in the monitor.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "steps.hpp"

namespace {

using seam::Build;

constexpr int kWorkers = 10;
const char* const kCommands[3] = {"CITANJE", "DODAVANJE", "BRISANJE"};

// The worker's trace line for a phase, given the argument main drew for it.
std::string line(const char* phase, int worker, int argument) {
  return std::string(phase) + ": Радник " + std::to_string(worker) + " наредба " +
         kCommands[worker % 3] + " — " + std::to_string(argument);
}

class Scenario : public ::testing::TestWithParam<Build>, protected seam::Steps {
 protected:
  // Starts zadatak with these arguments (worker k draws arguments[k]) and waits
  // until every worker is held at its request pause.
  void start(std::array<int, kWorkers> arguments) {
    arguments_ = arguments;
    std::string script = "main:";
    for (int a : arguments) script += std::to_string(a) + ",";
    child.emplace(seam::Launch(seam::programPath("zadatak", GetParam()), {"SEAM_RAND=" + script}, true));
    for (int w = 0; w < kWorkers; ++w) pause(w);
  }

  // Where the worker's line for the phase stands in the trace so far, -1 if absent.
  long position(const char* phase, int worker) {
    return Steps::position(line(phase, worker, arguments_[static_cast<size_t>(worker)]));
  }

  void expectCleanEnd() {
    seam::Outcome outcome = child->finish();
    EXPECT_EQ(outcome.status, 0) << outcome.describe();
    EXPECT_EQ(outcome.lines().size(), 30u) << outcome.describe();
  }

  std::array<int, kWorkers> arguments_{};
};

TEST_P(Scenario, DeletionAdmitsReadersBelowItsIndexOnly) {
  // Reader 0 reads 3, deletion 2 deletes 4, reader 3 reads 4.
  start({3, 0, 4, 4, 0, 0, 0, 0, 0, 0});
  step(2);  // the deletion is admitted and executes
  step(0);  // a reader below its index is admitted beside it
  EXPECT_GE(position("ИЗВРШАВАЊЕ", 0), 0);

  child->release(3);  // a reader of the index itself must wait
  waiting(3);
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 3), -1);

  step(2);
  lastStep(2);
  pause(3);
  EXPECT_GT(position("ИЗВРШАВАЊЕ", 3), position("УСПЕХ", 2));
  expectCleanEnd();
}

TEST_P(Scenario, DeletionWaitsForEveryReaderWithoutHoldingNewOnesBack) {
  start({5, 0, 1, 7, 0, 0, 0, 0, 0, 0});
  step(0);             // reader 0 runs
  child->release(2);  // the deletion arrives and waits for it
  waiting(2);
  step(3);  // a reader arriving after the waiting deletion is still admitted
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 2), -1);

  step(0);
  std::size_t mark = child->mark();
  lastStep(0);  // its release wakes the deletion, which finds reader 3 still running
  waiting(2, mark);
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 2), -1);

  step(3);
  lastStep(3);
  pause(2);
  EXPECT_GT(position("ИЗВРШАВАЊЕ", 2), position("УСПЕХ", 3));
  expectCleanEnd();
}

TEST_P(Scenario, AppendsRunOneAtATimeAndBesideReaders) {
  start({0, 5, 0, 0, 6, 0, 0, 0, 0, 0});
  step(1);  // append 1 is admitted
  step(0);  // a reader runs beside it
  EXPECT_GE(position("ИЗВРШАВАЊЕ", 0), 0);

  child->release(4);  // the second append waits
  waiting(4);
  step(1);
  EXPECT_EQ(position("ИЗВРШАВАЊЕ", 4), -1);
  lastStep(1);
  pause(4);
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
    lastStep(worker);
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

// Every pause lasts its draw modulo 3 seconds (0 to 2): reader 0 draws 3, 4
// and 5 for its three pauses. A broken copy drawing `% 3 + 1` is caught.
class PauseLengths : public ::testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(PauseLengths, AreTheDrawModuloThree) {
  auto [program, shipped] = GetParam();
  std::string mismatch = seam::mutantMismatch(program);
  ASSERT_TRUE(mismatch.empty()) << mismatch;
  seam::Child child(seam::Launch(seam::programPath(program, Build::Plain),
                                 {"SEAM_RAND=main:0,0,0,0,0,0,0,0,0,0;0:3,4,5"}, true));
  std::vector<int> seconds;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(child.waitPause(0)) << child.describe();
    int last = -1;  // the pause just reached is worker 0's latest
    for (const seam::Event& e : child.events())
      if (e.kind == 'P' && e.worker == 0) last = e.detail;
    seconds.push_back(last);
    child.release(0);
  }
  seam::Outcome outcome = child.finish();
  EXPECT_EQ(outcome.status, 0) << outcome.describe();
  EXPECT_EQ(seconds == std::vector<int>({0, 1, 2}), shipped) << seconds[0] << " " << seconds[1] << " " << seconds[2];
}

INSTANTIATE_TEST_SUITE_P(Programs, PauseLengths,
                         ::testing::Values(std::pair{"zadatak", true}, std::pair{"zadatak-pause-from-one", false}),
                         [](const auto& info) { return std::string(info.param.second ? "shipped" : "broken"); });

}  // namespace
