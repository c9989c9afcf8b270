// Whole runs of niz-locks with pauses scaled to milliseconds, and its failures.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "child.hpp"

namespace {

using seam::Build;

seam::Launch scaledRun(Build build, std::vector<std::string> env) {
  env.push_back("SEAM_PAUSE=scale:1");
  return seam::Launch(seam::programPath("niz-locks", build), env);
}

// Checks one trace's form and each worker's lifecycle; returns what is wrong, or "".
std::string traceProblems(const std::string& out) {
  static const std::regex form("(ZAHTEV|IZVRSAVANJE|USPEH|NEUSPEH): Radnik (\\d+) naredba (citanje|dodavanje|brisanje)");
  static const std::map<std::string, std::set<std::string>> lifecycles = {
      {"citanje", {"ZAHTEV NEUSPEH", "ZAHTEV IZVRSAVANJE USPEH"}},
      {"dodavanje", {"ZAHTEV IZVRSAVANJE USPEH"}},
      {"brisanje", {"ZAHTEV IZVRSAVANJE USPEH", "ZAHTEV IZVRSAVANJE NEUSPEH"}},
  };
  if (!out.ends_with("\n")) return "no line feed after the last line";
  std::map<long, std::pair<std::string, std::string>> workers;  // command, phases
  for (const std::string& line : seam::splitLines(out)) {
    std::smatch m;
    if (!std::regex_match(line, m, form)) return "malformed line: " + line;
    auto& [command, phases] = workers[std::stol(m[2])];
    if (!command.empty() && command != m[3]) return "command changed: " + line;
    command = m[3];
    phases += (phases.empty() ? "" : " ") + m[1].str();
  }
  if (workers.size() != 20 || workers.begin()->first != 0 || workers.rbegin()->first != 19)
    return "not workers 0 to 19";
  for (const auto& [worker, lines] : workers)
    if (!lifecycles.at(lines.first).contains(lines.second))
      return "worker " + std::to_string(worker) + " " + lines.first + ": " + lines.second;
  return "";
}

class LocksRuns : public ::testing::TestWithParam<Build> {};

TEST_P(LocksRuns, ManySeedsGiveWellFormedTracesAndNeverHang) {
  for (int seed = 1; seed <= 60; ++seed) {
    seam::Outcome outcome = seam::run(scaledRun(GetParam(), {"SEAM_SEED=" + std::to_string(seed)}));
    ASSERT_EQ(outcome.status, 0) << "seed " << seed << "\n" << outcome.describe();
    ASSERT_EQ(outcome.err, "") << "seed " << seed;
    ASSERT_EQ(traceProblems(outcome.out), "") << "seed " << seed << "\n" << outcome.out;
  }
}

TEST_P(LocksRuns, WorkerThatCannotStartIsReportedAndTheRestFinish) {
  seam::Outcome outcome = seam::run(scaledRun(GetParam(), {"SEAM_FAIL_CREATE=7"}));
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_EQ(outcome.err, "niz-locks: cannot start worker 7: Resource temporarily unavailable\n");
  EXPECT_EQ(outcome.out.find("Radnik 7 "), std::string::npos) << outcome.out;
  EXPECT_EQ(outcome.out.find("Radnik 19 ") != std::string::npos, true) << outcome.out;
}

TEST_P(LocksRuns, TraceThatCannotBeWrittenIsAFailure) {
  seam::Launch launch = scaledRun(GetParam(), {});
  launch.stdoutPath = "/dev/full";
  seam::Outcome outcome = seam::run(launch);
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_EQ(outcome.err, "niz-locks: cannot write the trace: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, LocksRuns, ::testing::Values(Build::Plain, Build::Tsan),
                         [](const auto& info) { return std::string(seam::buildName(info.param)); });

}  // namespace
