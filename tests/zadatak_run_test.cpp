// Whole runs of zadatak with pauses scaled to milliseconds, and its failures.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "child.hpp"

namespace {

using seam::Build;

const char* const kCommands[3] = {"CITANJE", "DODAVANJE", "BRISANJE"};

seam::Launch scaledRun(Build build, std::vector<std::string> env) {
  env.push_back("SEAM_PAUSE=scale:1");
  return seam::Launch(seam::programPath("zadatak", build), env);
}

struct WorkerLines {
  std::vector<std::string> phases;
  std::string command;
  std::vector<int> arguments;
};

// Checks one trace's form and each worker's lifecycle; returns what is wrong, or "".
std::string traceProblems(std::string out, int workers) {
  static const std::regex form("(ЗАХТЕВ|ИЗВРШАВАЊЕ|УСПЕХ|НЕУСПЕХ): Радник (\\d+) наредба "
                               "(CITANJE|DODAVANJE|BRISANJE) — (\\d+)");
  std::string digits = "0123456789";
  if (!out.starts_with(digits)) return "no leading worker numbers";
  if (!out.ends_with("\n")) return "no line feed after the last line";
  out.erase(0, digits.size());

  std::map<int, WorkerLines> byWorker;
  int successes = 0;
  for (const std::string& line : seam::splitLines(out)) {
    std::smatch m;
    if (!std::regex_match(line, m, form)) return "malformed line: " + line;
    WorkerLines& w = byWorker[std::stoi(m[2])];
    w.phases.push_back(m[1]);
    w.command = m[3];
    w.arguments.push_back(std::stoi(m[4]));
    successes += m[1] == "УСПЕХ";
  }
  if (static_cast<int>(byWorker.size()) != workers) return "wrong number of workers";
  for (const auto& [k, w] : byWorker) {
    std::string who = "worker " + std::to_string(k) + ": ";
    if (w.phases.size() != 3 || w.phases[0] != "ЗАХТЕВ" || w.phases[1] != "ИЗВРШАВАЊЕ" ||
        (w.phases[2] != "УСПЕХ" && w.phases[2] != "НЕУСПЕХ"))
      return who + "not request, execution, outcome";
    if (w.command != kCommands[k % 3]) return who + "wrong command";
    if (w.arguments[0] > 8 || w.arguments[1] != w.arguments[0] || w.arguments[2] != w.arguments[0])
      return who + "argument out of range or changed";
    if (w.command == "DODAVANJE" && w.phases[2] != "УСПЕХ") return who + "an append failed";
  }
  if (successes < 3) return "fewer than three successes";
  return "";
}

class Runs : public ::testing::TestWithParam<Build> {};

TEST_P(Runs, ManySeedsGiveWellFormedTraces) {
  for (int seed = 1; seed <= 60; ++seed) {
    seam::Outcome outcome = seam::run(scaledRun(GetParam(), {"SEAM_SEED=" + std::to_string(seed)}));
    ASSERT_EQ(outcome.status, 0) << "seed " << seed << "\n" << outcome.describe();
    ASSERT_EQ(outcome.err, "") << "seed " << seed;
    ASSERT_EQ(traceProblems(outcome.out, 10), "") << "seed " << seed << "\n" << outcome.out;
  }
}

TEST_P(Runs, WorkerThatCannotStartIsReportedAndTheRestFinish) {
  seam::Outcome outcome = seam::run(scaledRun(GetParam(), {"SEAM_FAIL_CREATE=4"}));
  EXPECT_NE(outcome.status, 0) << outcome.describe();
  EXPECT_EQ(outcome.signal, 0) << outcome.describe();
  EXPECT_EQ(outcome.err, "zadatak: cannot start worker 4: Resource temporarily unavailable\n");
  std::string out = outcome.out;
  EXPECT_EQ(out.find("Радник 4 "), std::string::npos) << out;
  EXPECT_EQ(outcome.lines().size(), 27u) << out;
}

TEST_P(Runs, TraceThatCannotBeWrittenIsAFailure) {
  seam::Launch launch = scaledRun(GetParam(), {});
  launch.stdoutPath = "/dev/full";
  seam::Outcome outcome = seam::run(launch);
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_EQ(outcome.err, "zadatak: cannot write the trace: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, Runs, ::testing::Values(Build::Plain, Build::Tsan),
                         [](const auto& info) { return std::string(seam::buildName(info.param)); });

}  // namespace
