// niz-mark's deletion mark, driven pause by pause through the seam.
//
// Each worker draws its argument and command from a script ("a,code"); workers
// without a part in a scenario draw code 3 and end silently.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "steps.hpp"

namespace {

using seam::Build;

const std::string kTsanOptions = seam::programEnv("niz-mark").front();

enum Code { kRead = 0, kAppend = 1, kDelete = 2, kNone = 3 };
const char* const kCommands[3] = {"Citanje", "Dodavanje na kraj", "Brisanje"};

std::string line(const std::string& phase, int worker, Code code, int a) {
  return phase + ": Radnik " + std::to_string(worker) + " naredba " + kCommands[code] + " - " +
         std::to_string(a);
}

class MarkScenario : public ::testing::TestWithParam<Build>, protected seam::Steps {
 protected:
  // workers: worker -> {argument, code}; the others do nothing.
  void launch(const std::map<int, std::pair<int, Code>>& workers) {
    std::string script;
    for (int w = 0; w < 10; ++w) {
      auto it = workers.find(w);
      auto [a, code] = it == workers.end() ? std::pair{0, kNone} : it->second;
      script += std::to_string(w) + ":" + std::to_string(a) + "," + std::to_string(code) + ";";
    }
    workers_ = workers;
    child.emplace(seam::Launch(seam::programPath("niz-mark", GetParam()), {"SEAM_RAND=" + script, kTsanOptions}, true));
    for (const auto& [w, plan] : workers) pause(w);  // every active worker is in its arrival pause
  }

  long outcome(const std::string& phase, int worker) {
    auto [a, code] = workers_.at(worker);
    return position(line(phase, worker, code, a));
  }

  seam::Outcome end() {
    seam::Outcome outcome = child->finish();
    EXPECT_EQ(outcome.status, 0) << outcome.describe();
    return outcome;
  }

  std::map<int, std::pair<int, Code>> workers_;
};

TEST_P(MarkScenario, MarkHoldsBackReadsAndDeletionsAtOrBelowIt) {
  launch({{0, {4, kDelete}}, {1, {4, kRead}}, {2, {2, kRead}}, {3, {6, kRead}},
          {4, {6, kDelete}}, {5, {5, kRead}}});
  step(0);  // deletion of 4 admitted: the mark is 4
  child->release(1);
  waiting(1);
  child->release(2);
  waiting(2);
  step(3);  // a read above the mark goes ahead
  step(4);  // so does a deletion above it, which moves the mark to 6
  child->release(5);
  waiting(5);  // 5 was free under the mark 4, not under 6

  lastStep(0);  // the first deletion to finish resets the mark and wakes everyone
  for (int reader : {1, 2, 5}) pause(reader);
  end();
}

TEST_P(MarkScenario, DeletionOvertakenByAnotherFailsAndLosesNothing) {
  std::map<int, std::pair<int, Code>> workers = {{0, {3, kDelete}}, {1, {8, kDelete}}};
  for (int i = 0; i < 8; ++i) workers[2 + i] = {i, kRead};
  launch(workers);
  step(0);
  step(1);  // 8 is above the mark 3: both deletions run side by side
  lastStep(0);
  lastStep(1);
  EXPECT_GE(outcome("USPEH", 0), 0);
  EXPECT_GE(outcome("NEUSPEH", 1), 0);
  EXPECT_EQ(outcome("USPEH", 1), -1);

  const int kept[8] = {1, 2, 3, 5, 6, 7, 8, 9};
  for (int i = 0; i < 8; ++i) {
    step(2 + i);
    lastStep(2 + i);
    EXPECT_GE(position(line("USPEH", 2 + i, kRead, i) + " broj " + std::to_string(kept[i])), 0)
        << child->describe();
  }
  end();
}

TEST_P(MarkScenario, AppendFillsFirstFreeSlot) {
  launch({{0, {7, kAppend}}, {1, {9, kRead}}});
  step(0);
  lastStep(0);
  step(1);  // length 10 now, so index 9 passes
  lastStep(1);
  EXPECT_GE(position(line("USPEH", 1, kRead, 9) + " broj 7"), 0) << child->describe();
  end();
}

TEST_P(MarkScenario, ArgumentNineFailsEveryCommandAndIdleWorkersStaySilent) {
  launch({{0, {9, kRead}}, {1, {9, kAppend}}, {2, {9, kDelete}}});
  for (int w : {0, 1, 2}) lastStep(w);
  seam::Outcome outcome = end();
  std::vector<std::string> lines = outcome.lines();
  ASSERT_EQ(lines.size(), 9u) << outcome.out;  // workers 3 to 9 print nothing
  for (int w : {0, 1, 2}) {
    auto [a, code] = workers_[w];
    // the request line twice, around the arrival pause, then the failure
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line("ZAHTEV", w, code, a)), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line("NEUSPEH", w, code, a)), 1);
  }
}

// Workers started one at a time take consecutive numbers from the generator in
// its default state: argument, command, then (when active) the arrival pause.
TEST_P(MarkScenario, WorkersDrawFromTheUnseededGenerator) {
  child.emplace(seam::Launch(seam::programPath("niz-mark", GetParam()), {"SEAM_HOLD_START=1", kTsanOptions}, true));
  std::srand(1);  // the C library's default state
  for (int w = 0; w < 10; ++w) {
    int a = std::rand() % 10;
    auto code = static_cast<Code>(std::rand() % 4);
    ASSERT_TRUE(child->start(w)) << child->describe();
    if (code == kNone) {
      ASSERT_TRUE(child->waitEnd(w)) << child->describe();
      continue;
    }
    int arrival = std::rand() % 4;
    pause(w);
    EXPECT_GE(position(line("ZAHTEV", w, code, a)), 0) << child->describe();
    const std::vector<seam::Event>& events = child->events();
    auto paused = std::find_if(events.begin(), events.end(),
                               [&](const seam::Event& e) { return e.kind == 'P' && e.worker == w; });
    ASSERT_NE(paused, events.end());
    EXPECT_EQ(paused->detail, arrival) << "worker " << w;
  }
  end();
}

INSTANTIATE_TEST_SUITE_P(Builds, MarkScenario, ::testing::Values(Build::Plain, Build::Tsan),
                         [](const auto& info) { return std::string(seam::buildName(info.param)); });

// A read tests the length once, on arrival, before it waits on the mark: one
// that waited for the deletion of the last element still reads that slot. The
// broken copy that tests the length after its wait fails the read instead.
class LengthTestBeforeWait : public ::testing::TestWithParam<std::pair<const char*, bool>>, protected seam::Steps {};

TEST_P(LengthTestBeforeWait, AReadThatWaitedForTheLastElementsDeletionStillReadsIt) {
  auto [program, shipped] = GetParam();
  std::string mismatch = seam::mutantMismatch(program);
  ASSERT_TRUE(mismatch.empty()) << mismatch;
  // Worker 0 deletes 8, worker 1 reads 8; the others do nothing.
  std::string script = "0:8,2;1:8,0;";
  for (int w = 2; w < 10; ++w) script += std::to_string(w) + ":0,3;";
  child.emplace(seam::Launch(seam::programPath(program, Build::Plain), {"SEAM_RAND=" + script, kTsanOptions}, true));
  pause(0);
  pause(1);
  step(0);  // the deletion of 8 is admitted: the mark is 8
  child->release(1);
  waiting(1);  // the read of 8 passed its length test (8 < 9) and waits on the mark
  lastStep(0);  // the deletion shrinks the array to 8 and wakes the read
  seam::Outcome outcome = child->finish();
  EXPECT_EQ(outcome.status, 0) << outcome.describe();
  std::vector<std::string> lines = outcome.lines();
  std::string read = line("USPEH", 1, kRead, 8) + " broj 9";
  bool found = std::find(lines.begin(), lines.end(), read) != lines.end();
  EXPECT_EQ(found, shipped) << outcome.describe();
}

INSTANTIATE_TEST_SUITE_P(Programs, LengthTestBeforeWait,
                         ::testing::Values(std::pair{"niz-mark", true},
                                           std::pair{"niz-mark-read-tests-length-after-wait", false}),
                         [](const auto& info) { return std::string(info.param.second ? "shipped" : "broken"); });

}  // namespace
