// The schedule explorer: the shipped programs survive every schedule of their
// default scenarios, every broken copy is caught and its counterexample replays
// the same, the reduction loses no trace, and the scheduler keeps its picture
// of locks, waits and ends right.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "child.hpp"
#include "scratch.hpp"
#include "stamped.hpp"

namespace {

std::string binPath(const std::string& name) { return std::string(ISTRAZI_BIN_DIR) + "/" + name; }
std::string testBinPath(const std::string& name) { return std::string(TEST_BIN_DIR) + "/" + name; }

seam::Outcome explore(const std::string& path, std::vector<std::string> args,
                      std::chrono::seconds limit = std::chrono::seconds(100)) {
  seam::Launch launch(path);
  launch.args = std::move(args);
  return seam::run(launch, limit);
}

// The traces --traces printed, without their headers.
std::set<std::string> tracesOf(const std::string& out) {
  std::set<std::string> traces;
  std::string current;
  bool in = false;
  for (const std::string& line : seam::splitLines(out)) {
    if (line.starts_with("--- trace ")) {
      if (in) traces.insert(current);
      current.clear();
      in = true;
    } else if (in) {
      current += line + "\n";
    }
  }
  if (in) traces.insert(current);
  return traces;
}

// ---- The shipped programs --------------------------------------------------------

// The default sets are large, so each is explored in parts that run side by side.
struct Part {
  std::string program;
  int part, parts;
};

std::vector<Part> defaultSetParts() {
  std::vector<Part> all;
  for (auto [program, parts] : {std::pair{"zadatak", 2}, {"niz-mark", 6}, {"niz-locks", 12}})
    for (int k = 0; k < parts; ++k) all.push_back({program, k, parts});
  return all;
}

class Shipped : public ::testing::TestWithParam<Part> {};

// Every default scenario is exhausted with no violation; provera accepts
// exactly the traces its schedules give, compared in the same run (niz-locks
// over every index); and a point at every shared access, even inside a
// critical section, gives the same traces and final arrays.
TEST_P(Shipped, ExhaustsEveryDefaultScenarioWithoutAViolation) {
  const Part& p = GetParam();
  seam::Scratch dir;  // where a counterexample would go
  std::vector<std::string> args = {p.program, "--part", std::to_string(p.part) + "/" + std::to_string(p.parts),
                                   "--quiet", "--out", dir.path("schedule"), "--agree", "--compare-steps"};
  seam::Outcome outcome = explore(binPath("istrazi"), args, std::chrono::seconds(170));
  ASSERT_EQ(outcome.status, 0) << outcome.describe();
  EXPECT_EQ(outcome.out.find("VIOLATION"), std::string::npos) << outcome.describe();
  EXPECT_EQ(outcome.out.find("DISAGREEMENT"), std::string::npos) << outcome.describe();
  EXPECT_EQ(outcome.out.find("STEPS DIFFER"), std::string::npos) << outcome.describe();
  // Each scenario explored (in niz-locks, other indices too) was exhausted;
  // each of the part's own was compared twice.
  int explored = 0, own = 0, agreements = 0, sameSteps = 0;
  for (const std::string& line : outcome.lines()) {
    std::string summary = "istrazi-" + p.program + ": ";
    if (line.starts_with(summary)) {
      own = std::stoi(line.substr(summary.size()));
    } else if (line.starts_with("istrazi-" + p.program + " ") && line.find(" schedules, ") != std::string::npos) {
      ++explored;
      EXPECT_NE(line.find(", exhausted,"), std::string::npos) << line;
    }
    agreements += line.find("agreement: provera accepts ") != std::string::npos;
    sameSteps += line.find(": steps: a point at every access gives the same ") != std::string::npos;
  }
  EXPECT_GT(own, 0) << outcome.describe();
  EXPECT_GE(explored, own) << outcome.describe();
  EXPECT_EQ(agreements, own) << outcome.describe();
  EXPECT_EQ(sameSteps, own) << outcome.describe();
}

INSTANTIATE_TEST_SUITE_P(Programs, Shipped, ::testing::ValuesIn(defaultSetParts()), [](const auto& info) {
  std::string name = info.param.program + "_" + std::to_string(info.param.part);
  std::erase(name, '-');
  return name;
});

// A niz-locks deletion can fail after another's success line with no success
// between: it drew its index before the other lowered the count, after the
// other had printed its line.
TEST(SoundSteps, ADeletionFailsAfterAnotherSucceeded) {
  seam::Outcome outcome = explore(binPath("istrazi-niz-locks"), {"--scenario", "0:delete:8,1:delete:8", "--no-spurious", "--traces"});
  ASSERT_EQ(outcome.status, 0) << outcome.describe();
  bool seen = false;
  for (const std::string& trace : tracesOf(outcome.out))
    seen = seen || trace.find("USPEH: Radnik 0 naredba brisanje\nZAHTEV: Radnik 1 naredba brisanje\n"
                              "IZVRSAVANJE: Radnik 1 naredba brisanje\nNEUSPEH: Radnik 1 naredba brisanje\n") !=
                       std::string::npos;
  EXPECT_TRUE(seen) << outcome.out;
}

// The reduction skips only schedules equivalent to one it ran: it finds exactly
// the traces that a search skipping less finds (sleep sets alone, which try
// every choice; or, on the toy program, every schedule).
TEST(Reduction, FindsEveryTraceThatASearchSkippingLessFinds) {
  struct Case {
    std::string explorer, text, weaker;
  };
  const Case cases[] = {
      {binPath("istrazi-zadatak"), "1:0,2:3,5:8", "--sleep-sets-only"},
      {binPath("istrazi-niz-mark"), "0:delete:3,1:read:3", "--sleep-sets-only"},
      {binPath("istrazi-niz-locks"), "0:delete:8,2:read:7", "--sleep-sets-only"},
      {binPath("istrazi-niz-locks"), "0:append:8,2:delete:7", "--sleep-sets-only"},
      {testBinPath("istrazi-toy"), "broadcast", "--no-reduction"},
      {testBinPath("istrazi-toy"), "passes", "--no-reduction"},  // passes through a lock commute
  };
  for (const Case& c : cases) {
    seam::Outcome reduced = explore(c.explorer, {"--scenario", c.text, "--traces"});
    seam::Outcome weaker = explore(c.explorer, {"--scenario", c.text, "--traces", c.weaker});
    ASSERT_EQ(reduced.status, 0) << reduced.describe();
    ASSERT_EQ(weaker.status, 0) << weaker.describe();
    std::set<std::string> expected = tracesOf(weaker.out);
    EXPECT_GT(expected.size(), 1u) << c.explorer << " " << c.text;
    EXPECT_EQ(tracesOf(reduced.out), expected) << c.explorer << " " << c.text;
  }
}

// What an explorer's summary line says of a scenario: "N schedules, ...,
// K final array(s), ...", and whether runs were abandoned asleep.
struct Summary {
  long schedules = -1;
  long finalArrays = -1;
  bool abandoned = false;
};

Summary summaryOf(const std::string& out) {
  Summary summary;
  for (const std::string& line : seam::splitLines(out)) {
    std::size_t at = line.find(" schedules, ");
    std::size_t arrays = line.find(" final arr");
    if (at == std::string::npos || arrays == std::string::npos) continue;
    summary.schedules = std::stol(line.substr(line.rfind(' ', at - 1) + 1, at));
    summary.finalArrays = std::stol(line.substr(line.rfind(' ', arrays - 1) + 1, arrays));
    summary.abandoned = line.find("abandoned") != std::string::npos;
  }
  return summary;
}

// A run started from a state saved on the way of the run before goes on as a
// run replayed from the program's start does: the same schedules, traces,
// final arrays and, in broken copies, the same violations.
TEST(Checkpoints, ResumedRunsGoOnAsRunsFromTheStart) {
  struct Case {
    std::string explorer;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {binPath("istrazi-zadatak"), {"--scenario", "1:0,2:3,5:8", "--traces"}},
      {binPath("istrazi-niz-mark"), {"--scenario", "0:delete:3,1:read:3", "--traces"}},
      {binPath("istrazi-niz-locks"), {"--scenario", "0:delete:8,2:read:7", "--traces"}},
      {testBinPath("istrazi-zadatak-release-signals"), {"--scenario", "1:0,2:3,5:8", "--all"}},
      {testBinPath("istrazi-niz-locks-admission-waits-once"), {"--scenario", "0:append:5,1:delete:8", "--all"}},
  };
  // Without the figures of time, which differ from run to run.
  auto timeless = [](std::string out) {
    static const std::regex kTimes(R"(, [0-9.e-]+ s, [0-9]+ schedules/s)");
    return std::regex_replace(out, kTimes, "");
  };
  for (const Case& c : cases) {
    seam::Scratch dir;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--out", dir.path("schedule")});
    seam::Outcome resumed = explore(c.explorer, args);
    args.push_back("--from-the-start");
    seam::Outcome fromStart = explore(c.explorer, args);
    EXPECT_EQ(resumed.status, fromStart.status) << c.explorer;
    EXPECT_EQ(timeless(resumed.out), timeless(fromStart.out)) << c.explorer;
    EXPECT_NE(resumed.out.find(" schedules, "), std::string::npos) << resumed.describe();
  }
}

// Optimal: one run for each class of equivalent schedules, and with a point at
// every access none abandoned in a state where every thread sleeps. (A whole
// critical section, moved before a race's first step, may do something else,
// so the search cannot tell in advance that it is covered, and abandons a few
// runs.) Sleep sets alone also complete one run per class, after trying every
// choice; the counts must agree. (Three workers of zadatak are where a
// reduction with one backtrack choice per race ran fewer.)
TEST(Reduction, RunsOneScheduleForEachClass) {
  const std::pair<std::string, std::string> cases[] = {
      {binPath("istrazi-zadatak"), "0:2,2:4,3:4"},
      {binPath("istrazi-niz-mark"), "0:delete:3,1:read:3"},
      {binPath("istrazi-niz-locks"), "0:append:8,2:delete:7"},
  };
  for (const auto& [explorer, text] : cases) {
    seam::Outcome reduced = explore(explorer, {"--scenario", text});
    seam::Outcome weaker = explore(explorer, {"--scenario", text, "--sleep-sets-only"});
    seam::Outcome split = explore(explorer, {"--scenario", text, "--every-access"});
    ASSERT_EQ(reduced.status, 0) << reduced.describe();
    ASSERT_EQ(weaker.status, 0) << weaker.describe();
    Summary optimal = summaryOf(reduced.out), classes = summaryOf(weaker.out);
    ASSERT_GT(classes.schedules, 0) << weaker.describe();
    EXPECT_EQ(optimal.schedules, classes.schedules) << explorer << " " << text;
    EXPECT_EQ(optimal.finalArrays, classes.finalArrays) << explorer << " " << text;
    EXPECT_FALSE(summaryOf(split.out).abandoned) << split.describe();
  }
}

// Whole runs of the shipped source, sped up and with late starts and slow
// prints, are each explained by a schedule, which replays the same trace (in
// niz-locks, whose lines show no index, the search draws each index too).
TEST(Explain, FindsAScheduleForEveryRealRun) {
  for (const char* program : {"zadatak", "niz-mark", "niz-locks"}) {
    for (int run = 0; run < 25; ++run) {
      seam::Scratch dir;
      seam::Launch real(seam::programPath(program, seam::Build::Plain),
                        {"SEAM_PAUSE=scale:1", "SEAM_JITTER=2"});
      seam::Outcome traced = seam::run(real, std::chrono::seconds(20));
      ASSERT_EQ(traced.status, 0) << traced.describe();
      std::string trace = dir.path("trace.txt");
      std::ofstream(trace) << traced.out;
      std::string schedule = dir.path("schedule");
      seam::Outcome found = explore(binPath("istrazi"), {program, "--explain", trace, "--out", schedule});
      ASSERT_EQ(found.status, 0) << program << "\n" << traced.out << found.describe();
      seam::Outcome replayed = explore(binPath("istrazi"), {"--replay", schedule, "--repeat", "2"});
      EXPECT_EQ(replayed.out, traced.out) << replayed.describe();
    }
  }
}

// --explain of `trace`, a whole real run of `program`, within `states` states.
seam::Outcome explainWithin(const std::string& program, const std::string& trace, int states = 100000) {
  seam::Scratch dir;
  std::string file = dir.path("trace.txt");
  std::ofstream(file) << trace;
  return explore(binPath("istrazi"), {program, "--explain", file, "--out", dir.path("s"), "--limit", std::to_string(states)});
}

std::string savedTrace(const std::string& name) { return seam::readFile(std::string(TRACE_DIR) + "/" + name); }

// A real run under load: readers 6 and 9 gave their admission back right after
// their outcome lines, before deletion 8 (line 16) could be admitted. Taking
// workers with no line left last needed more than five million states here.
TEST(Explain, FindsARunWhoseWorkersGiveTheirAdmissionBackAtOnce) {
  seam::Outcome found = explainWithin("zadatak", R"(0123456789ЗАХТЕВ: Радник 6 наредба CITANJE — 4
ЗАХТЕВ: Радник 7 наредба DODAVANJE — 5
ЗАХТЕВ: Радник 8 наредба BRISANJE — 3
ЗАХТЕВ: Радник 1 наредба DODAVANJE — 2
ЗАХТЕВ: Радник 3 наредба CITANJE — 0
ЗАХТЕВ: Радник 0 наредба CITANJE — 7
ЗАХТЕВ: Радник 9 наредба CITANJE — 1
ЗАХТЕВ: Радник 2 наредба BRISANJE — 7
ЗАХТЕВ: Радник 5 наредба BRISANJE — 7
ИЗВРШАВАЊЕ: Радник 7 наредба DODAVANJE — 5
ИЗВРШАВАЊЕ: Радник 6 наредба CITANJE — 4
УСПЕХ: Радник 7 наредба DODAVANJE — 5
ИЗВРШАВАЊЕ: Радник 9 наредба CITANJE — 1
УСПЕХ: Радник 6 наредба CITANJE — 4
УСПЕХ: Радник 9 наредба CITANJE — 1
ИЗВРШАВАЊЕ: Радник 8 наредба BRISANJE — 3
УСПЕХ: Радник 8 наредба BRISANJE — 3
ИЗВРШАВАЊЕ: Радник 2 наредба BRISANJE — 7
ЗАХТЕВ: Радник 4 наредба DODAVANJE — 3
ИЗВРШАВАЊЕ: Радник 3 наредба CITANJE — 0
УСПЕХ: Радник 3 наредба CITANJE — 0
УСПЕХ: Радник 2 наредба BRISANJE — 7
ИЗВРШАВАЊЕ: Радник 5 наредба BRISANJE — 7
УСПЕХ: Радник 5 наредба BRISANJE — 7
ИЗВРШАВАЊЕ: Радник 1 наредба DODAVANJE — 2
ИЗВРШАВАЊЕ: Радник 0 наредба CITANJE — 7
УСПЕХ: Радник 0 наредба CITANJE — 7
УСПЕХ: Радник 1 наредба DODAVANJE — 2
ИЗВРШАВАЊЕ: Радник 4 наредба DODAVANJE — 3
УСПЕХ: Радник 4 наредба DODAVANJE — 3
)");
  EXPECT_EQ(found.status, 0) << found.describe();
}

// A real niz-locks run: deletion 7 requested at line 21 and fails at line 40,
// so it drew its index while the count was still 9; drawn once the count had
// fallen, the index succeeds. Twenty million states did not find this run
// while workers drew only where their turn came.
TEST(Explain, FindsARunWhoseWorkersDrawRightAfterTheirRequests) {
  seam::Outcome found = explainWithin("niz-locks", R"(ZAHTEV: Radnik 0 naredba brisanje
ZAHTEV: Radnik 1 naredba citanje
ZAHTEV: Radnik 2 naredba citanje
IZVRSAVANJE: Radnik 0 naredba brisanje
IZVRSAVANJE: Radnik 1 naredba citanje
ZAHTEV: Radnik 16 naredba dodavanje
ZAHTEV: Radnik 9 naredba brisanje
ZAHTEV: Radnik 4 naredba dodavanje
ZAHTEV: Radnik 11 naredba dodavanje
ZAHTEV: Radnik 17 naredba dodavanje
ZAHTEV: Radnik 5 naredba citanje
IZVRSAVANJE: Radnik 2 naredba citanje
ZAHTEV: Radnik 19 naredba citanje
ZAHTEV: Radnik 12 naredba brisanje
ZAHTEV: Radnik 14 naredba citanje
IZVRSAVANJE: Radnik 19 naredba citanje
ZAHTEV: Radnik 18 naredba dodavanje
ZAHTEV: Radnik 8 naredba brisanje
ZAHTEV: Radnik 3 naredba citanje
ZAHTEV: Radnik 6 naredba dodavanje
ZAHTEV: Radnik 7 naredba brisanje
USPEH: Radnik 1 naredba citanje
USPEH: Radnik 0 naredba brisanje
ZAHTEV: Radnik 13 naredba brisanje
ZAHTEV: Radnik 10 naredba brisanje
ZAHTEV: Radnik 15 naredba brisanje
IZVRSAVANJE: Radnik 3 naredba citanje
IZVRSAVANJE: Radnik 12 naredba brisanje
IZVRSAVANJE: Radnik 14 naredba citanje
IZVRSAVANJE: Radnik 5 naredba citanje
USPEH: Radnik 2 naredba citanje
USPEH: Radnik 12 naredba brisanje
USPEH: Radnik 19 naredba citanje
IZVRSAVANJE: Radnik 13 naredba brisanje
USPEH: Radnik 3 naredba citanje
USPEH: Radnik 5 naredba citanje
USPEH: Radnik 14 naredba citanje
USPEH: Radnik 13 naredba brisanje
IZVRSAVANJE: Radnik 7 naredba brisanje
NEUSPEH: Radnik 7 naredba brisanje
IZVRSAVANJE: Radnik 8 naredba brisanje
USPEH: Radnik 8 naredba brisanje
IZVRSAVANJE: Radnik 10 naredba brisanje
NEUSPEH: Radnik 10 naredba brisanje
IZVRSAVANJE: Radnik 15 naredba brisanje
USPEH: Radnik 15 naredba brisanje
IZVRSAVANJE: Radnik 11 naredba dodavanje
USPEH: Radnik 11 naredba dodavanje
IZVRSAVANJE: Radnik 9 naredba brisanje
NEUSPEH: Radnik 9 naredba brisanje
IZVRSAVANJE: Radnik 6 naredba dodavanje
USPEH: Radnik 6 naredba dodavanje
IZVRSAVANJE: Radnik 16 naredba dodavanje
USPEH: Radnik 16 naredba dodavanje
IZVRSAVANJE: Radnik 18 naredba dodavanje
USPEH: Radnik 18 naredba dodavanje
IZVRSAVANJE: Radnik 4 naredba dodavanje
USPEH: Radnik 4 naredba dodavanje
IZVRSAVANJE: Radnik 17 naredba dodavanje
USPEH: Radnik 17 naredba dodavanje
)");
  EXPECT_EQ(found.status, 0) << found.describe();
}

// A real niz-locks run whose workers ran on from each line they printed to
// their next pause or wait before the lines that follow came: moving first
// the worker whose line comes soonest took more than 200,000 states here.
TEST(Explain, FindsARunWhoseWorkersRunOnFromTheirLines) {
  // Real niz-locks runs (or with one outcome turned, which provera accepts)
  // that a guess of the first passes is needed for, each within its bound.
  const struct {
    const char* file;
    int states;
  } saved[] = {
      {"niz-locks-awake.txt", 100000},
      // Here several workers stalled after lines they printed: five million
      // states did not find it while the widening passes took no worker first.
      {"niz-locks-stalled.txt", 1000000},
      // Here append 4, which requested first, was admitted after append 9, and
      // deletion 16 drew its index only after append 9 had raised the count: five
      // million states did not find it while a stall was one departure among all.
      {"niz-locks-stalls.txt", 2000000},
      // Here reads 8, 5, 1 and 19 executed while append 3 was in flight, so each
      // passed its lock before append 3 took its range; deletion 0, admitted over
      // append 3, drew only after its store. Five million states did not find it
      // while no worker was held back.
      {"niz-locks-held.txt", 100000},
      // A real run with one outcome turned, which provera accepts: deletion 19,
      // requested while the count was 9, fails at line 58 while it is 12, so it
      // read the count only after the appends had raised it. Five million states
      // did not find it while the draw was not held back.
      {"niz-locks-drawn-late.txt", 100000},
      // Here read 5, between its lines when append 3 executes at line 12, passed
      // its lock after line 11 before append 3 took its range. Five million states
      // did not find it while only reads executing over an append held it back.
      {"niz-locks-in-flight.txt", 100000},
      // Here deletion 19, admitted over append 5, drew the slot append 5 filled,
      // which append 5 stored only after read 0 had passed its lock after line
      // 23. Five million states did not find it while deletion 19 drew as soon as
      // its execution line was next.
      {"niz-locks-filled.txt", 100000},
      // Here read 8 executed over append 5 (line 25) and was out after it: it
      // passed its lock before line 25 and before append 5 took its range, and
      // again after append 5 let it go. Five million states did not find it
      // while the append waited only for the reads out before it.
      {"niz-locks-passed-first.txt", 100000},
      // Here deletion 15, admitted over append 5 at line 54, fails: it lay past
      // the end, not in the slot append 5 fills. Taken for one in that slot, it
      // took 551,842 states to find.
      {"niz-locks-past-the-end.txt", 100000},
      // Here deletion 1 drew index 9 and fails at line 28: it drew once append 6
      // (executed at line 8) had stored, which the lines show only at line 27.
      // And a deletion woken by a broadcast went back to its admission test at
      // once; put off, deletion 16 is admitted before deletion 10. Five million
      // states did not find it without both.
      {"niz-locks-woken.txt", 100000},
      // Here deletions 13, 12 and 2 fail at lines 40, 44 and 48, each past a
      // count that stood highest (append 4, executed at line 10, stored) when it
      // requested, so each drew at once. Five million states did not find it
      // while such a command drew only when its turn came.
      {"niz-locks-fails-early.txt", 100000},
  };
  for (auto [file, states] : saved) {
    seam::Outcome found = explainWithin("niz-locks", savedTrace(file), states);
    EXPECT_EQ(found.status, 0) << file << "\n" << found.describe();
  }
}

// A trace no schedule gives: the line at which it leaves them all is named.
TEST(Explain, SaysWhereATraceLeavesEverySchedule) {
  seam::Scratch dir;
  std::string trace = dir.path("trace.txt");
  std::ofstream(trace) << "ZAHTEV: Radnik 0 naredba Citanje - 3\nZAHTEV: Radnik 0 naredba Citanje - 3\n"
                          "USPEH: Radnik 0 naredba Citanje - 3 broj 9\n";
  seam::Outcome outcome = explore(binPath("istrazi"), {"niz-mark", "--explain", trace, "--out", dir.path("s")});
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_NE(outcome.out.find("leaves it at line 3"), std::string::npos) << outcome.describe();
}

TEST(CommandLine, RejectsAScenarioItCannotRead) {
  for (const char* text : {"0:9", "10:1", "0:1,0:2", "", "x"}) {
    seam::Outcome outcome = explore(binPath("istrazi"), {"zadatak", "--scenario", text});
    EXPECT_EQ(outcome.status, 2) << text << "\n" << outcome.describe();
    EXPECT_NE(outcome.err.find("scenario"), std::string::npos) << outcome.describe();
  }
  seam::Outcome unknown = explore(binPath("istrazi"), {"niz"});
  EXPECT_EQ(unknown.status, 2) << unknown.describe();
  seam::Outcome missing = explore(binPath("istrazi"), {"--replay", "/nonexistent/schedule"});
  EXPECT_EQ(missing.status, 2) << missing.describe();
}

TEST(CommandLine, BoundsPreemptionsAndSaysSo) {
  seam::Outcome bounded = explore(binPath("istrazi"), {"zadatak", "--scenario", "0:2,2:4,3:4", "--bound", "0"});
  EXPECT_EQ(bounded.status, 0) << bounded.describe();
  EXPECT_NE(bounded.out.find("exhausted within 0 preemptions"), std::string::npos) << bounded.describe();
  // Without preemptions a broken copy that needs one is not caught.
  seam::Outcome missed = explore(testBinPath("istrazi-zadatak-reader-at-deleted-index"),
                                 {"--scenario", "0:2,2:4,3:4", "--bound", "0", "--quiet", "--out", "/dev/null"});
  EXPECT_EQ(missed.status, 0) << missed.describe();
  // So the counterexample it finds is shrunk to one preemption, the fewest.
  seam::Outcome found = explore(testBinPath("istrazi-zadatak-reader-at-deleted-index"),
                                {"--scenario", "0:2,2:4,3:4", "--quiet", "--out", "/dev/null"});
  EXPECT_EQ(found.status, 1) << found.describe();
  EXPECT_NE(found.out.find("counterexample with 1 preemption(s)"), std::string::npos) << found.describe();
}

// ---- Broken copies ---------------------------------------------------------------

std::vector<std::string> mutants() {
  std::vector<std::string> names;
  std::ifstream in(ISTRAZI_MUTANTS);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) names.push_back(line);
  return names;
}

// Copies stricter than their scheme: no run of theirs breaks a rule.
const std::set<std::string> kStricter = {"zadatak-reader-below-deletion-waits"};

std::vector<std::string> brokenCopies() {
  std::vector<std::string> names = mutants();
  std::erase_if(names, [](const std::string& name) { return kStricter.contains(name); });
  return names;
}

// Every copy the explorer is built for is an exercise: its name, then a goal.
TEST(CommandLine, ListsEveryBrokenCopyAsAnExerciseWithItsGoal) {
  seam::Outcome listed = explore(binPath("istrazi"), {"--exercises"});
  ASSERT_EQ(listed.status, 0) << listed.describe();
  std::vector<std::string> names;
  for (const std::string& line : listed.lines()) {
    std::size_t gap = line.find("  ");
    ASSERT_NE(gap, std::string::npos) << line;
    EXPECT_NE(line.find_first_not_of(' ', gap), std::string::npos) << "no goal: " << line;
    names.push_back(line.substr(0, gap));
  }
  EXPECT_EQ(names, mutants()) << "every broken copy needs a GOAL in tests/CMakeLists.txt";
}

class Mutant : public ::testing::TestWithParam<std::string> {};

// The scenario --play --copy gives a broken copy: the third field of its line in
// the exercises list.
std::string playScenarioOf(const std::string& copy) {
  std::ifstream in(testBinPath("istrazi-exercises.txt"));
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(copy + "\t")) return line.substr(line.rfind('\t') + 1);
  return {};
}

TEST_P(Mutant, IsCaughtAndItsCounterexampleReplaysTheSame) {
  std::string mismatch = seam::mutantMismatch(GetParam());
  ASSERT_TRUE(mismatch.empty()) << mismatch;
  seam::Scratch dir;
  std::string explorer = testBinPath("istrazi-" + GetParam());
  std::string schedule = dir.path("counterexample.schedule");
  seam::Outcome found = explore(explorer, {"--quiet", "--out", schedule});
  ASSERT_EQ(found.status, 1) << found.describe();
  ASSERT_NE(found.out.find("VIOLATION"), std::string::npos) << found.describe();
  // Found by the quick sweep, before the full search exhausts any scenario.
  EXPECT_NE(found.out.find(" swept within 2 preemptions, "), std::string::npos) << found.describe();

  seam::Outcome once = explore(explorer, {"--replay", schedule});
  EXPECT_EQ(once.status, 1) << once.describe();
  EXPECT_NE(once.err.find("~~ step"), std::string::npos) << once.describe();
  seam::Outcome hundred = explore(explorer, {"--replay", schedule, "--repeat", "100"});
  EXPECT_EQ(hundred.status, 1) << hundred.describe();
  EXPECT_EQ(hundred.out, once.out);

  // The stamped form prikaz --from reads: the same lines, steps for times.
  std::string stamped = dir.path("counterexample.stamped");
  seam::Outcome saved = explore(explorer, {"--replay", schedule, "--save", stamped});
  EXPECT_EQ(saved.status, 1) << saved.describe();
  std::vector<timeline::Stamped> lines;
  std::string problem;
  ASSERT_TRUE(timeline::readStamped(seam::readFile(stamped), lines, problem)) << problem;
  EXPECT_EQ(timeline::joined(lines), once.out);
  for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_GE(lines[i].at, lines[i - 1].at);

  // A learner playing the copy gets a scenario in which it can break.
  std::string play = playScenarioOf(GetParam());
  ASSERT_FALSE(play.empty()) << "every broken copy needs a PLAY scenario in tests/CMakeLists.txt";
  seam::Outcome playable = explore(explorer, {"--scenario", play, "--quiet", "--out", "/dev/null"});
  EXPECT_EQ(playable.status, 1) << play << "\n" << playable.describe();
}

INSTANTIATE_TEST_SUITE_P(BrokenCopies, Mutant, ::testing::ValuesIn(brokenCopies()), [](const auto& info) {
  std::string name = info.param;
  std::erase(name, '-');
  return name;
});

// The first three gaps of the step-driven tests close here: each of these
// copies passed them all.
TEST(Gap, ReleaseResettingTheMarkBreaksTheMonitorInvariant) {
  seam::Outcome outcome = explore(testBinPath("istrazi-zadatak-release-resets-mark"), {"--quiet", "--out", "/dev/null"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.out.find("elementSeBrise is -1 while nBrisanje is 1"), std::string::npos) << outcome.describe();
}

TEST(Gap, AWaitThatIsAnIfLetsAReadPassTheMark) {
  seam::Outcome outcome = explore(testBinPath("istrazi-niz-mark-read-waits-once"),
                                  {"--quiet", "--out", "/dev/null"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.out.find("passed its wait while the mark stood at"), std::string::npos) << outcome.describe();
}

TEST(Gap, ADeletionLoweringTheCountBeforeItsSuccessLineIsSeen) {
  seam::Outcome outcome =
      explore(testBinPath("istrazi-niz-locks-count-before-success"), {"--quiet", "--out", "/dev/null"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.out.find("before the deletion's success line"), std::string::npos) << outcome.describe();
}

// Each of these copies keeps its trace plausible and the program's own variables
// consistent, so judging the trace alone passes it; one judge beyond the trace
// names what it breaks, and the report and the replay name source lines.
TEST(BeyondTheTrace, EachJudgeCatchesTheCopyOnlyItSees) {
  struct Case {
    std::string mutant, scenario, message;
  };
  const Case cases[] = {
      {"niz-locks-deletion-moves-one-too-few", "0:delete:3", "no order of the commands one at a time"},
      {"niz-locks-failed-deletion-keeps-admission", "0:delete:8,1:delete:3", "still counted as admitted at the end"},
      {"niz-mark-read-outside-lock", "0:delete:4,1:read:6", "data race on niz["},
      {"niz-mark-deletion-never-raises-mark", "0:delete:3,1:read:3", "admitted while the mark stood at 3"},
      {"niz-locks-deletion-range-short-of-the-end", "0:delete:3", "without holding element 8"},
      {"zadatak-release-signals", "1:0,2:3,5:8", "lost wake-up"},
  };
  for (const Case& c : cases) {
    seam::Scratch dir;
    std::string explorer = testBinPath("istrazi-" + c.mutant);
    std::string schedule = dir.path("schedule");
    seam::Outcome traceOnly = explore(explorer, {"--scenario", c.scenario, "--quiet", "--trace-judges-only", "--out", schedule});
    EXPECT_EQ(traceOnly.status, 0) << traceOnly.describe();
    seam::Outcome judged = explore(explorer, {"--scenario", c.scenario, "--quiet", "--out", schedule});
    EXPECT_EQ(judged.status, 1) << judged.describe();
    EXPECT_NE(judged.out.find(c.message), std::string::npos) << judged.describe();
    EXPECT_NE(judged.out.find("[last steps: main "), std::string::npos) << judged.describe();
    EXPECT_NE(judged.out.find(" at mutants/" + c.mutant + ".cpp:"), std::string::npos) << judged.describe();
    seam::Outcome replayed = explore(explorer, {"--replay", schedule});
    EXPECT_EQ(replayed.status, 1) << replayed.describe();
    EXPECT_NE(replayed.err.find(" at mutants/" + c.mutant + ".cpp:"), std::string::npos) << replayed.describe();
  }
}

// ---- Agreement with provera -------------------------------------------------------

// The sets differ and say how: a copy that keeps a reader below the index under
// deletion waiting breaks no rule in any run, so every judge passes it, but its
// schedules miss the traces where that reader runs beside the deletion.
TEST(Agreement, CatchesACopyStricterThanItsScheme) {
  std::string explorer = testBinPath("istrazi-zadatak-reader-below-deletion-waits");
  ASSERT_EQ(seam::mutantMismatch("zadatak-reader-below-deletion-waits"), "");
  seam::Outcome judged = explore(explorer, {"--scenario", "0:2,2:4", "--quiet", "--out", "/dev/null"});
  EXPECT_EQ(judged.status, 0) << judged.describe();
  seam::Outcome agreed = explore(explorer, {"--scenario", "0:2,2:4", "--quiet", "--agree", "--out", "/dev/null"});
  EXPECT_EQ(agreed.status, 1) << agreed.describe();
  EXPECT_NE(agreed.out.find("DISAGREEMENT: provera accepts "), std::string::npos) << agreed.describe();
  EXPECT_NE(agreed.out.find(" accepted by provera that no schedule gives"), std::string::npos) << agreed.describe();
  EXPECT_EQ(agreed.out.find(" given by a schedule that provera rejects"), std::string::npos) << agreed.describe();
  // One it shows: the reader executes after the deletion did and before its outcome.
  EXPECT_NE(agreed.out.find("    ИЗВРШАВАЊЕ: Радник 2 наредба BRISANJE — 4\n    ИЗВРШАВАЊЕ: Радник 0 наредба CITANJE — 2"),
            std::string::npos)
      << agreed.out;

  // The shipped program's schedules give the very set provera accepts.
  seam::Outcome shipped = explore(binPath("istrazi-zadatak"), {"--scenario", "0:2,2:4", "--quiet", "--agree"});
  EXPECT_EQ(shipped.status, 0) << shipped.describe();
  EXPECT_NE(shipped.out.find(": agreement: provera accepts "), std::string::npos) << shipped.describe();
}

// niz-locks lines show no index, so its traces are compared over every index;
// the few index scenarios --agree explores stand for all of them: their traces
// are those of every index each worker can draw, one scenario each. Two
// deletions are interchangeable, so most of their index scenarios are covered
// by renaming the workers of one explored: that too must give no trace that
// no scenario gives.
TEST(Agreement, NizLocksComparesOverEveryIndex) {
  std::string explorer = binPath("istrazi-niz-locks");
  for (const char* second : {"delete", "read"}) {
    SCOPED_TRACE(second);
    std::string commands = std::string("0:delete:0,1:") + second + ":0";
    seam::Outcome agreed = explore(explorer, {"--scenario", commands, "--quiet", "--agree"});
    ASSERT_EQ(agreed.status, 0) << agreed.describe();
    std::size_t at = agreed.out.find("agreement: provera accepts ");
    ASSERT_NE(at, std::string::npos) << agreed.describe();
    std::size_t given = agreed.out.find("the schedules give ", at);
    ASSERT_NE(given, std::string::npos) << agreed.describe();
    std::size_t count = std::stoul(agreed.out.substr(given + 19));

    std::vector<std::string> every = {"--quiet", "--traces"};
    for (int first = 0; first < 9; ++first)
      for (int other = 0; other < 9; ++other)
        every.insert(every.end(), {"--scenario", "0:delete:" + std::to_string(first) + ",1:" + second + ":" + std::to_string(other)});
    seam::Outcome all = explore(explorer, every);
    ASSERT_EQ(all.status, 0) << all.describe();
    // Each scenario's summary line comes before its traces.
    std::string traces;
    for (const std::string& line : all.lines())
      if (!line.starts_with("istrazi-niz-locks")) traces += line + "\n";
    EXPECT_EQ(tracesOf(traces).size(), count) << agreed.out;
  }
}

// --agree needs every schedule, and provera's rules: it refuses a bound, a
// limit, and a program provera does not judge.
TEST(Agreement, NeedsEveryScheduleAndProvera) {
  for (const char* cut : {"--bound", "--limit"}) {
    seam::Outcome outcome = explore(binPath("istrazi-zadatak"), {"--scenario", "0:2,2:4", "--agree", cut, "2"});
    EXPECT_EQ(outcome.status, 2) << outcome.describe();
    EXPECT_NE(outcome.err.find("--agree"), std::string::npos) << outcome.describe();
  }
  seam::Outcome toy = explore(testBinPath("istrazi-toy"), {"--scenario", "broadcast", "--agree"});
  EXPECT_EQ(toy.status, 2) << toy.describe();
  EXPECT_NE(toy.err.find("--agree"), std::string::npos) << toy.describe();
}

// ---- The scheduler's own picture, on a toy program ----------------------------

seam::Outcome toy(std::vector<std::string> args) {
  args.insert(args.end(), {"--quiet", "--out", "/dev/null"});
  return explore(testBinPath("istrazi-toy"), args);
}

TEST(Scheduler, RunsNoThreadWhoseLockIsHeld) {
  seam::Outcome outcome = toy({"--scenario", "exclusive"});
  EXPECT_EQ(outcome.status, 0) << outcome.describe();
  EXPECT_NE(outcome.out.find(", exhausted,"), std::string::npos) << outcome.describe();
}

TEST(Scheduler, BroadcastWakesEveryWaiter) {
  // Were a waiter left asleep, its join would never return: a deadlock.
  seam::Outcome outcome = toy({"--scenario", "broadcast", "--traces"});
  EXPECT_EQ(outcome.status, 0) << outcome.describe();
  for (const std::string& trace : tracesOf(outcome.out)) {
    EXPECT_NE(trace.find("worker 0 woke"), std::string::npos) << trace;
    EXPECT_NE(trace.find("worker 1 woke"), std::string::npos) << trace;
  }
  EXPECT_EQ(tracesOf(outcome.out).size(), 2u) << outcome.describe();
}

TEST(Scheduler, NamesWhoWaitsForWhatInADeadlock) {
  seam::Outcome outcome = toy({"--scenario", "deadlock"});
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_NE(outcome.out.find("deadlock: main waits to join worker 0; worker 0 waits for lock"), std::string::npos)
      << outcome.describe();
  EXPECT_NE(outcome.out.find("held by worker 1"), std::string::npos) << outcome.describe();
  EXPECT_NE(outcome.out.find("held by worker 0"), std::string::npos) << outcome.describe();
}

// A critical section runs as one step up to its next call, which hides a store
// made without its lock between two of its loads; the race judge names it.
TEST(Scheduler, NamesARaceWithinACriticalSection) {
  seam::Outcome outcome = toy({"--scenario", "unguarded"});
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_NE(outcome.out.find("data race on "), std::string::npos) << outcome.describe();
}

// A woken waiter whose retest would fail retests at once; that must neither
// hide a wake-up lost after such a retest nor the runs where none is lost.
TEST(Scheduler, FindsAWakeUpLostAfterARetestInVain) {
  seam::Outcome outcome = toy({"--scenario", "quiet-leave", "--no-spurious", "--all", "--traces"});
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_NE(outcome.out.find("deadlock"), std::string::npos) << outcome.describe();
  EXPECT_NE(outcome.out.find("worker 2 saw both leave"), std::string::npos) << outcome.describe();
}

TEST(Scheduler, SpuriousWakeUpsAreChoicesUnlessTurnedOff) {
  EXPECT_EQ(toy({"--scenario", "wait-once", "--no-spurious"}).status, 0);
  seam::Outcome outcome = toy({"--scenario", "wait-once"});
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  EXPECT_NE(outcome.out.find("a waiter went on before the broadcast"), std::string::npos) << outcome.describe();
}

}  // namespace
