// Whole runs of niz-mark with pauses scaled to milliseconds, and its failures.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "child.hpp"

namespace {

using seam::Build;

// main never joins its workers, by design: no thread-leak reports for that.
const std::string kTsanOptions = "TSAN_OPTIONS=halt_on_error=1 exitcode=66 report_thread_leaks=0";

seam::Launch scaledRun(Build build, std::vector<std::string> env = {}) {
  env.push_back("SEAM_PAUSE=scale:1");
  env.push_back(kTsanOptions);
  return seam::Launch(seam::programPath("niz-mark", build), env);
}

// Checks one trace's form and each worker's lifecycle, and that the length the
// outcomes imply never drops below 0; returns what is wrong, or "".
std::string traceProblems(const std::string& out) {
  static const std::regex form(
      "(ZAHTEV|USPEH|NEUSPEH): Radnik (\\d) naredba (Citanje|Dodavanje na kraj|Brisanje) - (\\d)( broj -?\\d+)?");
  if (!out.empty() && !out.ends_with("\n")) return "no line feed after the last line";
  std::map<int, std::vector<std::string>> workers;
  int length = 9;
  for (const std::string& line : seam::splitLines(out)) {
    std::smatch m;
    if (!std::regex_match(line, m, form)) return "malformed line: " + line;
    bool withValue = m[5].matched;
    if (withValue != (m[1] == "USPEH" && m[3] == "Citanje")) return "value misplaced: " + line;
    std::vector<std::string>& lines = workers[std::stoi(m[2])];
    std::string request = "ZAHTEV" + line.substr(line.find(':'), line.size() - m[5].length() - line.find(':'));
    if (lines.size() < 2 ? m[1] != "ZAHTEV" || (lines.size() == 1 && line != lines[0])
                         : lines.size() > 2 || m[1] == "ZAHTEV" || request != lines[0])
      return "out of order: " + line;
    lines.push_back(line);
    if (m[1] == "USPEH") length += m[3] == "Dodavanje na kraj" ? 1 : m[3] == "Brisanje" ? -1 : 0;
    if (length < 0) return "length below 0 after: " + line;
  }
  for (const auto& [worker, lines] : workers)
    if (lines.size() != 3) return "worker " + std::to_string(worker) + " has no outcome";
  return "";
}

class MarkRuns : public ::testing::TestWithParam<Build> {};

TEST_P(MarkRuns, RunsGiveWellFormedTraces) {
  for (int run = 0; run < 60; ++run) {
    seam::Outcome outcome = seam::run(scaledRun(GetParam()));
    ASSERT_EQ(outcome.status, 0) << "run " << run << "\n" << outcome.describe();
    ASSERT_EQ(outcome.err, "");
    ASSERT_EQ(traceProblems(outcome.out), "") << outcome.out;
  }
}

TEST_P(MarkRuns, WorkerThatCannotStartMakesTheStatusNonZero) {
  seam::Outcome outcome = seam::run(scaledRun(GetParam(), {"SEAM_FAIL_CREATE=0"}));
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_EQ(outcome.err, "niz-mark: cannot start worker 0: Resource temporarily unavailable\n");
  EXPECT_EQ(outcome.out.find("Radnik 0 "), std::string::npos) << outcome.out;
  EXPECT_EQ(traceProblems(outcome.out), "") << outcome.out;
}

TEST_P(MarkRuns, TraceThatCannotBeWrittenIsAFailure) {
  seam::Launch launch = scaledRun(GetParam());
  launch.stdoutPath = "/dev/full";
  seam::Outcome outcome = seam::run(launch);
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_EQ(outcome.err, "niz-mark: cannot write the trace: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, MarkRuns, ::testing::Values(Build::Plain, Build::Tsan),
                         [](const auto& info) { return std::string(seam::buildName(info.param)); });

}  // namespace
