// The tools at their edges: help, bad input, output that cannot be written,
// and signals, which must never leave the program prikaz started running.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child.hpp"
#include "fast_prikaz.hpp"
#include "scratch.hpp"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kTools = {PRIKAZ_PATH, POREDJENJE_PATH, PROVERA_PATH};

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Runs a shell command line with $0 set to `tool`.
seam::Outcome shell(const std::string& script, const std::string& tool, std::vector<std::string> args = {},
                    std::vector<std::string> env = {}) {
  seam::Launch launch("/bin/bash", std::move(env));
  launch.args = {"-c", script, tool};
  launch.args.insert(launch.args.end(), args.begin(), args.end());
  return seam::run(launch);
}

class ToolsCli : public ::testing::Test {
 protected:
  // Every process a fast prikaz starts carries `mark_` in its environment.
  std::string fastPrikaz() { return seam::fastPrikaz(scratch_); }
  std::vector<std::string> fastEnv(int scale) {
    return {"SEAM_PAUSE=scale:" + std::to_string(scale), mark_, "TERM=xterm"};
  }
  // Processes that still carry the mark: the programs a run left behind.
  int marked() {
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
      std::ifstream in(entry.path() / "environ", std::ios::binary);
      std::string environ((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      count += environ.find(mark_) != std::string::npos;
    }
    return count;
  }
  std::string saved(const std::string& text) {
    std::string path = scratch_.path("saved-" + std::to_string(++files_) + ".txt");
    std::ofstream(path) << text;
    return path;
  }

  seam::Scratch scratch_;
  std::string mark_ = "NIZ_TEST_MARK=" + scratch_.dir();
  int files_ = 0;
};

TEST_F(ToolsCli, HelpGoesToStandardOutputAndExitsZero) {
  for (const std::string& tool : kTools)
    for (const char* flag : {"-h", "--help"}) {
      seam::Launch launch(tool);
      launch.args = {flag};
      seam::Outcome outcome = seam::run(launch);
      EXPECT_EQ(outcome.status, 0) << tool << " " << flag << outcome.describe();
      EXPECT_TRUE(outcome.out.starts_with("usage: " + nameOf(tool))) << outcome.describe();
      EXPECT_EQ(outcome.err, "");
    }
}

TEST_F(ToolsCli, ClosedStandardOutputIsAnErrorBeforeAnythingRuns) {
  for (const std::string& tool : kTools) {
    std::string args = nameOf(tool) == "provera" ? "zadatak /dev/null" : nameOf(tool) == "prikaz" ? "zadatak" : "";
    seam::Outcome outcome = shell("exec \"$0\" " + args + " >&-", tool);
    EXPECT_EQ(outcome.status, 2) << outcome.describe();
    EXPECT_EQ(outcome.err, nameOf(tool) + ": standard output is closed\n") << outcome.describe();
  }
}

TEST_F(ToolsCli, FullStandardOutputIsAnError) {
  std::string run = saved("0.5 ЗАХТЕВ: Радник 1 наредба DODAVANJE — 6\n");
  for (auto [tool, args] : {std::pair{std::string(PRIKAZ_PATH), std::vector<std::string>{"--from", run, "zadatak"}},
                            std::pair{std::string(PROVERA_PATH), std::vector<std::string>{"zadatak", run}},
                            std::pair{fastPrikaz(), std::vector<std::string>{"niz-mark"}}}) {
    seam::Launch launch(tool, fastEnv(1));
    launch.args = args;
    launch.stdoutPath = "/dev/full";
    seam::Outcome outcome = seam::run(launch);
    EXPECT_EQ(outcome.status, 2) << tool << outcome.describe();
    EXPECT_NE(outcome.err.find("No space left on device"), std::string::npos) << outcome.describe();
  }
  EXPECT_EQ(marked(), 0);
}

TEST_F(ToolsCli, BadSavedRunsAreRefusedWithTheLineAtFault) {
  struct Case {
    std::string text, complaint;
  };
  const std::string line = " ЗАХТЕВ: Радник 1 наредба DODAVANJE — 6\n";
  for (const Case& c : std::vector<Case>{
           {"nan" + line, "line 1: the time is not"},
           {"0.5" + line + "inf" + line, "line 2: the time is not"},
           {"-1" + line, "line 1: the time is not"},
           {"1e9" + line, "line 1: the time is not"},
           {"2" + line + "1" + line, "line 2: the time is earlier"},
           {"0x1p3" + line, "line 1: does not start with a time"},
           {"soon" + line, "line 1: does not start with a time"},
           {"1.5\n", "line 1: does not start with a time"},
       }) {
    seam::Launch launch(PRIKAZ_PATH);
    launch.args = {"--from", saved(c.text), "zadatak"};
    seam::Outcome outcome = seam::run(launch);
    EXPECT_EQ(outcome.status, 2) << c.text << outcome.describe();
    EXPECT_NE(outcome.err.find("not a saved run: " + c.complaint), std::string::npos) << c.text << outcome.describe();
    EXPECT_EQ(outcome.out, "");
  }
}

TEST_F(ToolsCli, PathsThatCannotBeUsedAreFoundBeforeTheRun) {
  std::string prikaz = fastPrikaz();
  struct Case {
    std::vector<std::string> args;
    std::string complaint;
  };
  for (const Case& c : std::vector<Case>{
           {{"--from", scratch_.dir(), "zadatak"}, "cannot read a saved run from " + scratch_.dir() + ": Is a directory"},
           {{"--from", scratch_.path("missing"), "zadatak"},
            "cannot read a saved run from " + scratch_.path("missing") + ": No such file or directory"},
           {{"--save", scratch_.path("no/such/dir"), "zadatak"}, "cannot write " + scratch_.path("no/such/dir")},
           {{"--json", scratch_.dir(), "niz-mark"}, "cannot write " + scratch_.dir() + ": Is a directory"},
           {{"--svg", scratch_.path("no/such.svg"), "niz-mark"}, "cannot write " + scratch_.path("no/such.svg")},
           {{"--save", "x", "all"}, "--save and --from take one program"},
           {{"nepoznat"}, "unknown program nepoznat"},
           {{"--from"}, "--from needs a file name"},
           {{}, "which program?"},
       }) {
    seam::Launch launch(prikaz, fastEnv(1));
    launch.args = c.args;
    seam::Outcome outcome = seam::run(launch);
    EXPECT_EQ(outcome.status, 2) << outcome.describe();
    EXPECT_NE(outcome.err.find("prikaz: " + c.complaint), std::string::npos) << outcome.describe();
    EXPECT_EQ(outcome.out, "") << "nothing may run before the paths are known to work";
  }
  EXPECT_FALSE(fs::exists(scratch_.path("x")));
}

TEST_F(ToolsCli, PoredjenjeRefusesBadNumbers) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--runs", "0"}, {"--runs", "x"}, {"--scale"},
                                        {"--sacle", "3"}}) {
    seam::Launch launch(POREDJENJE_PATH);
    launch.args = args;
    seam::Outcome outcome = seam::run(launch);
    EXPECT_EQ(outcome.status, 2) << outcome.describe();
    EXPECT_TRUE(outcome.err.starts_with("poredjenje: ")) << outcome.describe();
    EXPECT_EQ(outcome.out, "");
  }
}

// The reader goes after one line: prikaz dies of SIGPIPE at its next write,
// and the program it runs is ended with it.
TEST_F(ToolsCli, AClosedPipeEndsTheProgramToo) {
  seam::Outcome outcome = shell("set -o pipefail; \"$0\" niz-locks | head -1", fastPrikaz(), {}, fastEnv(50));
  EXPECT_EQ(outcome.status, 128 + SIGPIPE) << outcome.describe();
  EXPECT_EQ(outcome.lines().size(), 1u) << outcome.describe();
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(marked(), 0) << "the program outlived prikaz";
}

TEST_F(ToolsCli, TerminationEndsTheProgramToo) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    std::string script = "\"$0\" niz-locks > /dev/null & p=$!; sleep 0.3; kill -" + std::to_string(signal) +
                         " $p; wait $p; echo $?";
    seam::Outcome outcome = shell(script, fastPrikaz(), {}, fastEnv(50));
    EXPECT_EQ(outcome.out, std::to_string(128 + signal) + "\n") << outcome.describe();
    EXPECT_EQ(marked(), 0) << "the program outlived prikaz, signal " << signal;
  }
}

TEST_F(ToolsCli, TerminatingPoredjenjeEndsItsRunsToo) {
  std::string script = "\"$0\" --runs 1000 --scale 50 > /dev/null & p=$!; sleep 0.5; kill -TERM $p; wait $p; echo $?";
  seam::Outcome outcome = shell(script, POREDJENJE_PATH, {}, {mark_});
  EXPECT_EQ(outcome.out, std::to_string(128 + SIGTERM) + "\n") << outcome.describe();
  EXPECT_EQ(marked(), 0) << "a run outlived poredjenje";
}

}  // namespace
