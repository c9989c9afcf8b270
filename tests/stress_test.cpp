// Many whole runs of each program, with pauses scaled to 0 to 2 milliseconds a
// second, plain and under ThreadSanitizer; every trace must satisfy provera.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <tuple>
#include <vector>

#include "check.hpp"
#include "child.hpp"

namespace {

using seam::Build;

constexpr int kRuns = 200;
// Runs at a time: a run mostly sleeps through its scaled pauses.
constexpr int kAtOnce = 4;

class Stress : public ::testing::TestWithParam<std::tuple<const char*, Build>> {};

TEST_P(Stress, EveryTraceFollowsTheRules) {
  const char* name = std::get<0>(GetParam());
  Build build = std::get<1>(GetParam());
  provera::Program program = *provera::programNamed(name);
  std::chrono::steady_clock::duration checking{}, slowest{};
  auto envOf = [&](int run) {
    std::vector<std::string> env = seam::programEnv(name);
    env.push_back("SEAM_PAUSE=scale:" + std::to_string(run % 3));
    env.push_back("SEAM_SEED=" + std::to_string(run + 1));
    return env;
  };
  std::vector<std::future<seam::Outcome>> started;
  auto launch = [&](int run) {
    if (run < kRuns)
      started.push_back(std::async(std::launch::async, [&, run] { return seam::run(seam::Launch(seam::programPath(name, build), envOf(run))); }));
  };
  for (int run = 0; run < kAtOnce; ++run) launch(run);
  for (int run = 0; run < kRuns; ++run) {
    seam::Outcome outcome = started[static_cast<std::size_t>(run)].get();
    launch(run + kAtOnce);
    std::vector<std::string> env = envOf(run);
    std::string context = "run " + std::to_string(run) + " (" + env[env.size() - 2] + ", " + env.back() + ")\n";
    ASSERT_EQ(outcome.status, 0) << context << outcome.describe();
    ASSERT_EQ(outcome.err, "") << context << outcome.describe();

    auto start = std::chrono::steady_clock::now();
    provera::Report report = provera::check(program, outcome.out);
    auto took = std::chrono::steady_clock::now() - start;
    checking += took;
    slowest = std::max(slowest, took);
    std::string violations;
    for (const provera::Violation& v : report.violations) violations += provera::describe(v) + "\n";
    ASSERT_TRUE(report.valid()) << context << violations << "--- trace ---\n" << outcome.out;
  }
  using std::chrono::microseconds;
  RecordProperty("check_mean_us", std::to_string(std::chrono::duration_cast<microseconds>(checking / kRuns).count()));
  RecordProperty("check_slowest_us", std::to_string(std::chrono::duration_cast<microseconds>(slowest).count()));
  EXPECT_LT(checking / kRuns, std::chrono::milliseconds(10));
}

INSTANTIATE_TEST_SUITE_P(Programs, Stress,
                         ::testing::Combine(::testing::Values("zadatak", "niz-locks", "niz-mark"),
                                            ::testing::Values(Build::Plain, Build::Tsan)),
                         [](const auto& info) { return seam::caseName(std::get<0>(info.param), std::get<1>(info.param)); });

}  // namespace
