// niz-locks's element locks and writer admission, driven step by step.
//
// Every worker is held at its start with scripted draws (command, index, value);
// a scenario starts chosen workers and lets them on one pause at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "steps.hpp"

namespace {

using seam::Build;

enum Code { kRead = 0, kAppend = 1, kDelete = 2 };
const char* const kCommands[3] = {"citanje", "dodavanje", "brisanje"};

struct Worker {
  Code code;
  int index;  // drawn modulo the count when the worker starts
  int value;
};

class LocksScenario : public ::testing::TestWithParam<Build>, protected seam::Steps {
 protected:
  void launch(const std::map<int, Worker>& workers) {
    std::string script;
    for (const auto& [w, plan] : workers) {
      script += std::to_string(w) + ":" + std::to_string(plan.code) + "," +
                std::to_string(plan.index) + "," + std::to_string(plan.value) + ";";
      codes_[w] = plan.code;
    }
    child.emplace(seam::Launch(seam::programPath("niz-locks", GetParam()), {"SEAM_RAND=" + script, "SEAM_HOLD_START=1"}, true));
  }

  long position(const std::string& phase, int worker) {
    return Steps::position(phase + ": Radnik " + std::to_string(worker) + " naredba " + kCommands[codes_[worker]]);
  }

  void expectCleanEnd() {
    seam::Outcome outcome = child->finish();
    EXPECT_EQ(outcome.status, 0) << outcome.describe();
  }

  std::map<int, int> codes_;
};

TEST_P(LocksScenario, ReaderOfFirstElementWaitsForAppendFromRetakeToRelease) {
  launch({{0, {kAppend, 0, 5}}, {1, {kRead, 0, 0}}});
  go(0);
  pause(0);  // admitted, range given back: a reader passes element 0
  go(1);
  pause(1);
  step(0);  // the append retakes its range and stores
  child->release(1);
  blocked(1);
  EXPECT_EQ(position("USPEH", 1), -1);
  lastStep(0);
  pause(1);
  EXPECT_GT(position("IZVRSAVANJE", 1), 0);
  EXPECT_GE(position("USPEH", 0), 0);
  expectCleanEnd();
}

TEST_P(LocksScenario, ReaderBelowDeletionIsNotHeldUpByIt) {
  launch({{0, {kDelete, 5, 0}}, {1, {kRead, 3, 0}}, {2, {kRead, 6, 0}}});
  go(0);
  pause(0);
  step(0);  // the deletion holds elements 5 to 8 through its last pause
  go(1);
  pause(1);
  step(1);  // reader of 3 passes its element twice
  go(2);
  blocked(2);  // reader of 6 waits for the deletion
  EXPECT_EQ(position("USPEH", 0), -1);
  lastStep(0);
  pause(2);
  expectCleanEnd();
}

TEST_P(LocksScenario, DeletionOfLastElementLowersCountOnlyAfterSuccess) {
  launch({{0, {kDelete, 8, 0}}, {1, {kRead, 8, 0}}});
  go(0);
  pause(0);
  step(0);  // shifted nothing, success line not yet printed
  go(1);    // so element 8 is still live for a reader, which waits on its lock
  blocked(1);
  EXPECT_EQ(position("NEUSPEH", 1), -1);
  lastStep(0);
  pause(1);
  EXPECT_GE(position("USPEH", 0), 0);
  EXPECT_EQ(position("NEUSPEH", 1), -1);
  expectCleanEnd();
}

TEST_P(LocksScenario, DeletionAdmittedAfterArrayShrankBelowItsIndexFails) {
  launch({{0, {kDelete, 2, 0}}, {1, {kDelete, 8, 0}}});
  go(0);
  pause(0);
  step(0);  // holds elements 2 to 8
  go(1);
  blocked(1);  // taking its range, it waits on element 8
  lastStep(0);
  pause(1);  // admitted once the array has shrunk to 8
  lastStep(1);
  EXPECT_GT(position("IZVRSAVANJE", 1), position("USPEH", 0));
  EXPECT_GT(position("NEUSPEH", 1), position("IZVRSAVANJE", 1));
  expectCleanEnd();
}

TEST_P(LocksScenario, WaitingWriterHoldsNoElementLock) {
  launch({{0, {kAppend, 0, 5}}, {1, {kDelete, 3, 0}}});
  go(0);
  pause(0);
  go(1);
  waiting(1);
  step(0);  // the append takes every element, the deletion's range included
  EXPECT_EQ(position("IZVRSAVANJE", 1), -1);
  lastStep(0);
  pause(1);
  expectCleanEnd();
}

TEST_P(LocksScenario, DeletionOfFreshSlotIsAdmittedDuringAppendsLastPause) {
  launch({{0, {kAppend, 0, 5}}, {1, {kAppend, 0, 6}}, {2, {kDelete, 9, 0}}, {3, {kDelete, 9, 0}}});
  go(0);
  pause(0);
  go(1);
  waiting(1);  // a second append waits on the appends' condition
  step(0);     // the first one stored at slot 9 and holds elements 0 to 8
  go(2);
  pause(2);  // a deletion of slot 9 is admitted beside it
  go(3);
  waiting(3);  // another deletion of 9 waits for that one

  std::size_t mark = child->mark();
  lastStep(0);  // with a deletion admitted, the append wakes only the deletions
  waiting(3, mark);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(child->eventsSince(1, mark), 0u) << child->describe();

  step(2);
  mark = child->mark();
  lastStep(2);  // the deletion's wake lets the waiting append go
  EXPECT_TRUE(child->waitAnyEvent(1, mark)) << child->describe();
  expectCleanEnd();
}

TEST_P(LocksScenario, EmptyArrayDrawGivesFailingCommands) {
  std::map<int, Worker> workers;
  for (int w = 0; w < 9; ++w) workers[w] = {kDelete, 0, 0};
  workers[9] = {kRead, 5, 0};
  workers[10] = {kDelete, 5, 0};
  workers[11] = {kAppend, 0, 3};
  launch(workers);
  for (int w = 0; w < 9; ++w) {
    go(w);
    pause(w);
    step(w);
    lastStep(w);
  }
  go(9);  // fails its length test at once: no execution line
  ASSERT_TRUE(child->waitEnd(9)) << child->describe();
  EXPECT_GT(position("NEUSPEH", 9), 0);
  EXPECT_EQ(position("IZVRSAVANJE", 9), -1);

  go(10);
  pause(10);
  lastStep(10);
  EXPECT_GT(position("NEUSPEH", 10), position("IZVRSAVANJE", 10));

  go(11);  // and an append fills the empty array
  pause(11);
  step(11);
  lastStep(11);
  EXPECT_GT(position("USPEH", 11), 0);
  expectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(Builds, LocksScenario, ::testing::Values(Build::Plain, Build::Tsan),
                         [](const auto& info) { return std::string(seam::buildName(info.param)); });

}  // namespace
