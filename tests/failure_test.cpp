// What each program does when a worker cannot be started or its trace cannot
// be written: a message on standard error and a non-zero status.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "check.hpp"
#include "child.hpp"

namespace {

using seam::Build;

class Failure : public ::testing::TestWithParam<std::tuple<const char*, Build>> {
 protected:
  seam::Launch launch(std::vector<std::string> extra = {}) const {
    auto [name, build] = GetParam();
    std::vector<std::string> env = seam::programEnv(name);
    env.push_back("SEAM_PAUSE=scale:1");
    env.insert(env.end(), extra.begin(), extra.end());
    return seam::Launch(seam::programPath(name, build), env);
  }
  std::string name() const { return std::get<0>(GetParam()); }
};

TEST_P(Failure, WorkerThatCannotStartIsReportedAndTheOthersFinish) {
  seam::Outcome outcome = seam::run(launch({"SEAM_FAIL_CREATE=3"}));
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_EQ(outcome.err, name() + ": cannot start worker 3: Resource temporarily unavailable\n");

  // The others' traces are whole; worker 3 has none.
  provera::Report report = provera::check(*provera::programNamed(name()), outcome.out);
  std::string violations;
  for (const provera::Violation& v : report.violations) violations += provera::describe(v) + "\n";
  if (name() == "niz-mark") {
    EXPECT_EQ(violations, "") << outcome.out;  // a worker may print nothing there
  } else {
    int lines = static_cast<int>(outcome.lines().size());
    EXPECT_EQ(violations, "line " + std::to_string(lines) + ": worker 3: never appears in a well-formed line\n")
        << outcome.out;
  }
}

TEST_P(Failure, TraceThatCannotBeWrittenIsReported) {
  seam::Launch full = launch();
  full.stdoutPath = "/dev/full";
  seam::Outcome outcome = seam::run(full);
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_EQ(outcome.err, name() + ": cannot write the trace: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(Programs, Failure,
                         ::testing::Combine(::testing::Values("zadatak", "niz-locks", "niz-mark"),
                                            ::testing::Values(Build::Plain, Build::Tsan)),
                         [](const auto& info) { return seam::caseName(std::get<0>(info.param), std::get<1>(info.param)); });

}  // namespace
