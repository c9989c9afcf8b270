// provera on recorded traces and on single-line alterations of them.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <string>

#include "check.hpp"
#include "wellformed.hpp"
#include "child.hpp"
#include "scratch.hpp"

namespace {

using provera::Program;

std::string recorded(const std::string& name) { return seam::readFile(std::string(TRACE_DIR) + "/" + name + ".txt"); }

std::vector<std::string> linesOf(const std::string& text) { return seam::splitLines(text); }

std::string join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string report(const provera::Report& r) {
  std::string text;
  for (const provera::Violation& v : r.violations) text += provera::describe(v) + "\n";
  return text.empty() ? r.summary : text;
}

// The trace is rejected, and some violation names `rule` at `line`.
void expectRejected(Program program, const std::string& text, int line, const std::string& rule,
                    const provera::Scope& scope = {}) {
  provera::Report r = provera::check(program, text, scope);
  bool named = false;
  for (const provera::Violation& v : r.violations)
    named |= v.line == line && v.rule.find(rule) != std::string::npos;
  EXPECT_TRUE(named) << "expected line " << line << ": " << rule << "\ngot:\n" << report(r);
}

TEST(Provera, RecordedTracesAreValid) {
  for (auto [program, name] : {std::pair{Program::Zadatak, "zadatak"}, {Program::NizLocks, "niz-locks"},
                               {Program::NizMark, "niz-mark"}}) {
    provera::Report r = provera::check(program, recorded(name));
    EXPECT_TRUE(r.valid()) << name << "\n" << report(r);
  }
  EXPECT_EQ(provera::check(Program::Zadatak, recorded("zadatak")).summary,
            "valid zadatak trace: 10 workers; 4 reads (4 succeeded), 3 appends (3 succeeded), 3 deletions (3 succeeded)");
}

TEST(Provera, FormIsCheckedByteForByte) {
  std::vector<std::string> z = linesOf(recorded("zadatak"));
  std::vector<std::string> altered = z;
  altered[3].replace(altered[3].find("—"), std::string("—").size(), "-");  // hyphen for the em dash
  expectRejected(Program::Zadatak, join(altered), 4, "not a zadatak trace line");

  altered = z;
  altered[0].erase(0, 10);  // no leading worker numbers
  expectRejected(Program::Zadatak, join(altered), 1, "worker numbers");

  std::string text = recorded("zadatak");
  text.pop_back();
  expectRejected(Program::Zadatak, text, 30, "no line feed");

  std::vector<std::string> l = linesOf(recorded("niz-locks"));
  l[32] = "NEUSPEH: Radnik 13 naredba dodavanje";  // appends have no failure line
  expectRejected(Program::NizLocks, join(l), 33, "not a niz-locks trace line");

  std::vector<std::string> m = linesOf(recorded("niz-mark"));
  m[14] = "USPEH: Radnik 4 naredba Citanje - 6";  // a read's success shows its value
  expectRejected(Program::NizMark, join(m), 15, "not a niz-mark trace line");
  m[14] = "USPEH: Radnik 4 naredba Citanje - 06 broj 8";
  expectRejected(Program::NizMark, join(m), 15, "not a niz-mark trace line");
  m[14] = "\x1b[2J\xc2\x9b\xff";  // quoted so that it cannot drive the terminal
  expectRejected(Program::NizMark, join(m), 15, "line: \"\\x1b[2J\\xc2\\x9b\\xff\"");
}

// printf never writes "-0", and quoting keeps every line's text inert: no
// control, no reordering mark, nothing that is not well-formed UTF-8.
TEST(Provera, FormLeavesNothingToChance) {
  std::vector<std::string> z = linesOf(recorded("zadatak"));
  std::vector<std::string> altered = z;
  altered[1] = "ЗАХТЕВ: Радник -0 наредба CITANJE — 4";
  expectRejected(Program::Zadatak, join(altered), 2, "not a zadatak trace line");
  altered = z;
  altered[1] = "ЗАХТЕВ: Радник 0 наредба CITANJE — -0";
  expectRejected(Program::Zadatak, join(altered), 2, "not a zadatak trace line");

  std::vector<std::string> m = linesOf(recorded("niz-mark"));
  const std::pair<std::string, std::string> unsafe[] = {
      {"a\xe2\x80\xae" "b", "\"a\\xe2\\x80\\xaeb\""},      // U+202E, right-to-left override
      {"\xed\xa0\x80", "\"\\xed\\xa0\\x80\""},         // a surrogate
      {"\xc0\xaf", "\"\\xc0\\xaf\""},                    // an overlong '/'
      {"\xf4\x90\x80\x80", "\"\\xf4\\x90\\x80\\x80\""},  // above U+10FFFF
      {"Радник \xf0\x9f\x99\x82", "\"Радник \xf0\x9f\x99\x82\""}};  // well-formed text stays as it is
  for (const auto& [line, quoted] : unsafe) {
    m[14] = line;
    expectRejected(Program::NizMark, join(m), 15, "line: " + quoted);
  }
}

// An empty trace is no run of any program; a run of some workers only may be
// empty in niz-mark, where a worker can draw no command.
TEST(Provera, AnEmptyTraceIsNoRun) {
  for (Program program : {Program::Zadatak, Program::NizLocks, Program::NizMark})
    expectRejected(program, "", 0, "no line at all: an empty trace is not a run of");
  provera::Report scoped = provera::check(Program::NizMark, "", {{2, 5}});
  EXPECT_TRUE(scoped.valid()) << report(scoped);
}

TEST(Provera, EveryWorkerFollowsItsLifecycle) {
  std::vector<std::string> z = linesOf(recorded("zadatak"));
  std::vector<std::string> altered = z;
  altered.erase(altered.begin() + 29);  // worker 2's outcome is missing
  expectRejected(Program::Zadatak, join(altered), 29, "ends before its outcome");

  altered = z;
  std::swap(altered[28], altered[29]);  // worker 2's success before its execution
  expectRejected(Program::Zadatak, join(altered), 29, "success line out of order");

  altered = z;
  altered[6] = "ЗАХТЕВ: Радник 7 наредба CITANJE — 4";  // worker 7 always appends
  expectRejected(Program::Zadatak, join(altered), 7, "worker 7 always runs an append");

  altered = z;
  altered[1] = "ЗАХТЕВ: Радник 0 наредба CITANJE — 9";  // arguments are 0 to 8
  expectRejected(Program::Zadatak, join(altered), 2, "outside 0 to 8");

  std::vector<std::string> l = linesOf(recorded("niz-locks"));
  l.erase(l.begin() + 20);  // reader 1's execution line: a read that ran prints one
  expectRejected(Program::NizLocks, join(l), 26, "success line out of order");

  std::vector<std::string> m = linesOf(recorded("niz-mark"));
  m.erase(m.begin() + 5);  // worker 7's request printed only once
  expectRejected(Program::NizMark, join(m), 10, "success line out of order");
}

TEST(Provera, ZadatakAdmissionPairs) {
  const std::string head = "0123456789";
  auto trace = [&](const std::vector<std::string>& body) {
    // Workers not in the body run alone at the end, so only the body's pairs matter.
    return head + join(body);
  };
  // Reader 0 of index 4 inside deletion 2 of index 4.
  std::vector<std::string> body = {
      "ЗАХТЕВ: Радник 2 наредба BRISANJE — 4", "ЗАХТЕВ: Радник 0 наредба CITANJE — 4",
      "ИЗВРШАВАЊЕ: Радник 2 наредба BRISANJE — 4", "ИЗВРШАВАЊЕ: Радник 0 наредба CITANJE — 4",
      "УСПЕХ: Радник 0 наредба CITANJE — 4", "УСПЕХ: Радник 2 наредба BRISANJE — 4"};
  expectRejected(Program::Zadatak, trace(body), 4, "a read of index 4 ran beside a deletion of index 4");
  body[1] = "ЗАХТЕВ: Радник 0 наредба CITANJE — 3";
  body[3] = "ИЗВРШАВАЊЕ: Радник 0 наредба CITANJE — 3";
  body[4] = "УСПЕХ: Радник 0 наредба CITANJE — 3";
  provera::Report lower = provera::check(Program::Zadatak, trace(body));
  for (const provera::Violation& v : lower.violations) EXPECT_EQ(v.rule.find("beside"), std::string::npos) << report(lower);

  // Reader 0 of index 3 is executing before deletion 2 of index 4 even asks:
  // the deletion was admitted while the reader was counted.
  body = {"ЗАХТЕВ: Радник 0 наредба CITANJE — 3", "ИЗВРШАВАЊЕ: Радник 0 наредба CITANJE — 3",
          "ЗАХТЕВ: Радник 2 наредба BRISANJE — 4", "ИЗВРШАВАЊЕ: Радник 2 наредба BRISANJE — 4",
          "УСПЕХ: Радник 0 наредба CITANJE — 3", "УСПЕХ: Радник 2 наредба BRISANJE — 4"};
  expectRejected(Program::Zadatak, trace(body), 4, "a deletion was admitted while a read was running");

  // Appends 1 and 4 together.
  expectRejected(Program::Zadatak,
                 trace({"ЗАХТЕВ: Радник 1 наредба DODAVANJE — 0", "ЗАХТЕВ: Радник 4 наредба DODAVANJE — 0",
                        "ИЗВРШАВАЊЕ: Радник 1 наредба DODAVANJE — 0", "ИЗВРШАВАЊЕ: Радник 4 наредба DODAVANJE — 0",
                        "УСПЕХ: Радник 1 наредба DODAVANJE — 0", "УСПЕХ: Радник 4 наредба DODAVANJE — 0"}),
                 4, "two appends ran at once");
}

// Reader 3 of index 4 can only have been admitted before deletion 2 of index
// 4, which therefore came in after reader 3 left; reader 0 was executing by
// then, so the deletion could not come in at all. No pair of windows shows it.
TEST(Provera, ZadatakAdmissionsNeedOneOrderForAll) {
  std::vector<std::string> body = {
      "0123456789ЗАХТЕВ: Радник 0 наредба CITANJE — 2", "ЗАХТЕВ: Радник 2 наредба BRISANJE — 4",
      "ЗАХТЕВ: Радник 3 наредба CITANJE — 4",           "ИЗВРШАВАЊЕ: Радник 0 наредба CITANJE — 2",
      "ИЗВРШАВАЊЕ: Радник 3 наредба CITANJE — 4",       "УСПЕХ: Радник 3 наредба CITANJE — 4",
      "ИЗВРШАВАЊЕ: Радник 2 наредба BRISANJE — 4",      "УСПЕХ: Радник 0 наредба CITANJE — 2",
      "УСПЕХ: Радник 2 наредба BRISANJE — 4"};
  provera::Scope scope{{0, 2, 3}};
  expectRejected(Program::Zadatak, join(body), 7, "no order of the workers' admissions", scope);
  // Once reader 0 has left too, the deletion can come in.
  std::swap(body[6], body[7]);
  provera::Report after = provera::check(Program::Zadatak, join(body), scope);
  EXPECT_TRUE(after.valid()) << report(after);
}

TEST(Provera, ZadatakOutcomesMatchTheCount) {
  std::vector<std::string> z = linesOf(recorded("zadatak"));
  // Deletion 2 of index 4 ran last, on 9 + 3 - 2 = 10 elements: it cannot fail.
  z[29] = "НЕУСПЕХ: Радник 2 наредба BRISANJE — 4";
  expectRejected(Program::Zadatak, join(z), 30, "deletion of index 4 failed with 10 live elements");

  // Reader 6 of index 7 ran on 9 or 10 elements: it cannot fail.
  z = linesOf(recorded("zadatak"));
  z[17] = "НЕУСПЕХ: Радник 6 наредба CITANJE — 7";
  expectRejected(Program::Zadatak, join(z), 18, "read of index 7 failed");
}

TEST(Provera, NizLocksAdmissionAndCount) {
  std::vector<std::string> l = linesOf(recorded("niz-locks"));
  // Append 13 executes inside deletion 15's window.
  std::vector<std::string> altered = l;
  std::swap(altered[37], altered[40]);
  expectRejected(Program::NizLocks, join(altered), 38, "an append was admitted while a deletion was working");

  // Deletion 11 executes inside deletion 0's window, and still succeeds.
  altered = l;
  std::swap(altered[30], altered[31]);
  altered[32] = "USPEH: Radnik 11 naredba brisanje";
  expectRejected(Program::NizLocks, join(altered), 31, "succeeded");

  // Appends 9 and 8 overlap on a non-empty array.
  altered = l;
  std::swap(altered[45], altered[46]);
  expectRejected(Program::NizLocks, join(altered), 46, "two appends ran at once");
}

std::string nizLocksLines(const std::vector<std::string>& phasesAndWorkers) {
  static const std::map<char, std::string> phase = {
      {'R', "ZAHTEV"}, {'X', "IZVRSAVANJE"}, {'S', "USPEH"}, {'F', "NEUSPEH"}};
  static const std::map<char, std::string> command = {{'r', "citanje"}, {'a', "dodavanje"}, {'d', "brisanje"}};
  std::string text;
  for (const std::string& e : phasesAndWorkers)  // "Xa7": phase, command, worker
    text += phase.at(e[0]) + ": Radnik " + e.substr(2) + " naredba " + command.at(e[1]) + "\n";
  return text;
}

// Every worker but those listed reads and succeeds, alone, after them.
std::string withOtherReaders(std::vector<std::string> lines) {
  std::set<std::string> named;
  for (const std::string& e : lines) named.insert(e.substr(2));
  for (int w = 0; w < 20; ++w)
    if (!named.contains(std::to_string(w)))
      for (const char* p : {"Rr", "Xr", "Sr"}) lines.push_back(p + std::to_string(w));
  return nizLocksLines(lines);
}

TEST(Provera, NizLocksFailuresFollowASuccessfulDeletion) {
  // The first deletion fails: nothing has shrunk the array below its index.
  expectRejected(Program::NizLocks, withOtherReaders({"Rd0", "Xd0", "Fd0", "Rd1", "Xd1", "Sd1"}), 3,
                 "a deletion failed before any deletion had succeeded");
  // Twenty reads fail with no deletion at all.
  std::vector<std::string> reads;
  for (int w = 0; w < 20; ++w) reads.insert(reads.end(), {"Rr" + std::to_string(w), "Fr" + std::to_string(w)});
  expectRejected(Program::NizLocks, nizLocksLines(reads), 2, "a read failed before any deletion had succeeded");
  // After a successful deletion, both can fail, if the count falls after both drew.
  provera::Report after = provera::check(
      Program::NizLocks, withOtherReaders({"Rd0", "Xd0", "Sd0", "Rd1", "Rr2", "Xd1", "Fd1", "Fr2"}));
  EXPECT_TRUE(after.valid()) << report(after);
}

// A failure needs the count to fall after its index was drawn: deletion 0
// lowers it once, after its success line and before append 1 can take its
// range, and before or after deletion 1's draw, but not for reader 2 too.
TEST(Provera, NizLocksEveryFailureNeedsAFallOfItsOwn) {
  provera::Scope scope{{0, 1, 2}};
  expectRejected(Program::NizLocks, nizLocksLines({"Rd0", "Xd0", "Sd0", "Rd1", "Xd1", "Fd1", "Rr2", "Fr2"}), 8,
                 "a read failed, but in no order of the count's changes", scope);
  expectRejected(Program::NizLocks, nizLocksLines({"Rd0", "Xd0", "Sd0", "Ra1", "Xa1", "Sa1", "Rr2", "Fr2"}), 8,
                 "a read failed, but in no order of the count's changes", scope);
  // Deletion 1 executes after deletion 0 and fails: its range met deletion
  // 0's, so it came in only after the count fell, too early for reader 2.
  expectRejected(Program::NizLocks, nizLocksLines({"Rd0", "Xd0", "Sd0", "Rd1", "Xd1", "Rr2", "Fd1", "Fr2"}), 8,
                 "a read failed, but in no order of the count's changes", scope);
  // Inside deletion 0's window, before its success line, it leaves no moment for the fall.
  expectRejected(Program::NizLocks, nizLocksLines({"Rd0", "Xd0", "Rd1", "Xd1", "Sd0", "Fd1", "Rr2", "Xr2", "Sr2"}), 5,
                 "a deletion succeeded, but no moment is left for it to lower the count", scope);
  // Deletion 1 executes after append 2, so after the append raised the count
  // again: the fall it drew before is undone.
  expectRejected(Program::NizLocks, nizLocksLines({"Rd0", "Xd0", "Sd0", "Rd1", "Ra2", "Xa2", "Xd1", "Fd1", "Sa2"}), 8,
                 "a deletion failed, but in no order of the count's changes", scope);
  // On an empty array an index is drawn past the end: those failures need no fall.
  std::vector<std::string> emptied;
  for (int w = 0; w < 9; ++w)
    for (const char* p : {"Rd", "Xd", "Sd"}) emptied.push_back(p + std::to_string(w));
  for (int w = 9; w < 20; ++w)
    for (const char* p : {"Rr", "Fr"}) emptied.push_back(p + std::to_string(w));
  provera::Report empty = provera::check(Program::NizLocks, nizLocksLines(emptied));
  EXPECT_TRUE(empty.valid()) << report(empty);
  // Reader 2 asks before append 1 executes: the count may fall after its draw.
  provera::Report early =
      provera::check(Program::NizLocks, nizLocksLines({"Rd0", "Xd0", "Sd0", "Ra1", "Rr2", "Xa1", "Sa1", "Fr2"}), scope);
  EXPECT_TRUE(early.valid()) << report(early);
}

TEST(Provera, NizLocksWhatAnAppendsWindowAllows) {
  // Deletions 1 and 2 both succeed while append 0 holds a non-empty array.
  expectRejected(Program::NizLocks,
                 withOtherReaders({"Ra0", "Xa0", "Rd1", "Xd1", "Sd1", "Rd2", "Xd2", "Sd2", "Sa0"}), 8,
                 "two deletions succeeded while an append held a non-empty array");
  // One of them may: the deletion of the slot the append just filled.
  provera::Report one =
      provera::check(Program::NizLocks, withOtherReaders({"Ra0", "Xa0", "Rd1", "Xd1", "Sd1", "Rd2", "Sa0", "Xd2", "Sd2"}));
  EXPECT_TRUE(one.valid()) << report(one);
  // Append 10 inside append 0's window: deletions that succeed inside the
  // window, after append 0 retook its range, do not empty the array it found.
  std::vector<std::string> lines = {"Ra0", "Xa0"};
  for (int w = 1; w <= 9; ++w)
    for (const char* p : {"Rd", "Xd", "Sd"}) lines.push_back(p + std::to_string(w));
  lines.insert(lines.end(), {"Ra10", "Xa10", "Sa10", "Sa0"});
  expectRejected(Program::NizLocks, withOtherReaders(lines), 31,
                 "two appends ran at once although the array held at least 9 elements");
}

TEST(Provera, NizLocksCountNeverBelowZero) {
  std::string text;
  for (int w = 0; w < 20; ++w) text += "ZAHTEV: Radnik " + std::to_string(w) + " naredba brisanje\n";
  for (int w = 0; w < 20; ++w)
    text += "IZVRSAVANJE: Radnik " + std::to_string(w) + " naredba brisanje\nUSPEH: Radnik " + std::to_string(w) +
            " naredba brisanje\n";
  // The tenth success, on line 40, would need a tenth element.
  expectRejected(Program::NizLocks, text, 40, "succeeded although the array was empty");
}

TEST(Provera, NizMarkOutcomesNeedAnOrderThatExplainsThem) {
  std::vector<std::string> m = linesOf(recorded("niz-mark"));
  std::vector<std::string> altered = m;
  altered[14] = "USPEH: Radnik 4 naredba Citanje - 6 broj 1";  // 1 was never at index 6
  expectRejected(Program::NizMark, join(altered), 15, "a read of index 6 shows 1, a value that is never at that index");

  altered = m;
  altered[12] = "USPEH: Radnik 3 naredba Brisanje - 9";  // index 9 is past the length 9
  expectRejected(Program::NizMark, join(altered), 13, "no order");
}

// Nine deletions of indexes 0 to 8 side by side, and a read of index 0 beside
// them: the deletions can all succeed only from the highest index down, so
// index 0 holds 1 until the last of them.
std::string nineDeletionsAndARead(const std::string& shown) {
  std::string requests, outcomes;
  for (int w = 0; w < 9; ++w) {
    requests += "ZAHTEV: Radnik " + std::to_string(w) + " naredba Brisanje - " + std::to_string(w) + "\n";
    outcomes += "USPEH: Radnik " + std::to_string(w) + " naredba Brisanje - " + std::to_string(w) + "\n";
  }
  requests += "ZAHTEV: Radnik 9 naredba Citanje - 0\n";
  return requests + requests + "USPEH: Radnik 9 naredba Citanje - 0 broj " + shown + "\n" + outcomes;
}

TEST(Provera, NizMarkSearchIsExact) {
  provera::Report one = provera::check(Program::NizMark, nineDeletionsAndARead("1"));
  EXPECT_TRUE(one.valid()) << report(one);
  // 77 is never in the array; 9 is, but never at index 0 in this run.
  expectRejected(Program::NizMark, nineDeletionsAndARead("77"), 21, "shows 77, a value that is never at that index");
  expectRejected(Program::NizMark, nineDeletionsAndARead("9"), 30, "no order");
  // With no deletion at all, index 0 only ever holds 1.
  expectRejected(Program::NizMark,
                 "ZAHTEV: Radnik 3 naredba Citanje - 0\nZAHTEV: Radnik 3 naredba Citanje - 0\n"
                 "USPEH: Radnik 3 naredba Citanje - 0 broj 2\n",
                 3, "shows 2, a value that is never at that index");

  std::string hardest = recorded("niz-mark-hardest");
  provera::Report r = provera::check(Program::NizMark, hardest);
  EXPECT_FALSE(r.incomplete) << r.summary;
  EXPECT_GT(r.searchStates, 1000);
}

// A search that meets its bound claims nothing: the trace is not valid, and
// the report says the check is incomplete.
TEST(Provera, NizMarkSearchNeverGivesUpSilently) {
  provera::Scope scope;
  scope.maxSearchStates = 3;
  provera::Report r = provera::check(Program::NizMark, recorded("niz-mark-hardest"), scope);
  EXPECT_TRUE(r.incomplete);
  EXPECT_FALSE(r.valid());
  EXPECT_TRUE(r.summary.starts_with("incomplete niz-mark check")) << r.summary;
}

// A run in which only some workers take part: the others must print nothing,
// and only those that take part must be accounted for.
TEST(Provera, ScopeNamesTheWorkersThatTakePart) {
  std::string trace =
      "0123456789ЗАХТЕВ: Радник 0 наредба CITANJE — 4\n"
      "ЗАХТЕВ: Радник 1 наредба DODAVANJE — 6\n"
      "ИЗВРШАВАЊЕ: Радник 0 наредба CITANJE — 4\n"
      "ИЗВРШАВАЊЕ: Радник 1 наредба DODAVANJE — 6\n"
      "УСПЕХ: Радник 0 наредба CITANJE — 4\n"
      "УСПЕХ: Радник 1 наредба DODAVANJE — 6\n";
  provera::Report both = provera::check(Program::Zadatak, trace, {{0, 1}});
  EXPECT_TRUE(both.valid()) << report(both);
  EXPECT_EQ(both.summary, "valid zadatak trace: 2 workers; 1 read (1 succeeded), 1 append (1 succeeded), 0 deletions (0 succeeded)");

  expectRejected(Program::Zadatak, trace, 6, "never appears");  // every worker, by default
  provera::Report one = provera::check(Program::Zadatak, trace, {{0}});
  ASSERT_EQ(one.violations.size(), 3u) << report(one);
  EXPECT_EQ(provera::describe(one.violations[0]), "line 2: worker 1: worker 1 takes no part in this run");

  provera::Report missing = provera::check(Program::Zadatak, trace, {{0, 1, 2}});
  ASSERT_EQ(missing.violations.size(), 1u) << report(missing);
  EXPECT_EQ(provera::describe(missing.violations[0]), "line 6: worker 2: never appears in a well-formed line");
}

// How many of a scenario's well-formed traces provera accepts: each count was
// measured against the schedule explorer's distinct traces for the same
// workers, which must be the same set.
long acceptedOf(Program program, const std::vector<provera::Participant>& workers, long& wellFormed) {
  provera::Scope scope;
  for (const provera::Participant& p : workers) scope.workers.insert(p.worker);
  long accepted = 0;
  wellFormed = provera::forEachWellFormedTrace(program, workers, [&](std::string_view trace) {
    accepted += provera::check(program, trace, scope).valid();
  });
  return accepted;
}

TEST(ProveraAgreement, AcceptsWhatTheSchedulesPrint) {
  using provera::Command;
  long wellFormed = 0;
  // Reader 0 of index 2, deletion 2 of index 4, reader 3 of index 4: three
  // workers of three lines each, each line order with each pair of outcomes.
  EXPECT_EQ(acceptedOf(Program::Zadatak, {{0, Command::Read, 2}, {2, Command::Delete, 4}, {3, Command::Read, 4}},
                       wellFormed),
            566);
  EXPECT_EQ(wellFormed, 1680 * 8);
  EXPECT_EQ(acceptedOf(Program::NizMark, {{0, Command::Delete, 4}, {1, Command::Read, 4}, {2, Command::Read, 6}},
                       wellFormed),
            4236);
  // Two deletions and a read, over every index the explorer draws for them.
  EXPECT_EQ(acceptedOf(Program::NizLocks, {{0, Command::Delete, {}}, {1, Command::Delete, {}}, {2, Command::Read, {}}},
                       wellFormed),
            1608);
}

TEST(Provera, ChecksAreFast) {
  for (auto [program, name] : {std::pair{Program::Zadatak, "zadatak"}, {Program::NizLocks, "niz-locks"},
                               {Program::NizMark, "niz-mark"}}) {
    std::string text = recorded(name);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) provera::check(program, text);
    auto each = (std::chrono::steady_clock::now() - start) / 20;
    EXPECT_LT(each, std::chrono::milliseconds(10)) << name;
  }
}

// The command line: exit status 0, 1 or 2, and one report line per violation.
TEST(ProveraCommand, ExitStatusTellsTheVerdict) {
  std::string provera = PROVERA_PATH;
  std::string trace = std::string(TRACE_DIR) + "/zadatak.txt";
  auto command = [&](std::vector<std::string> args) {
    seam::Launch launch(provera);
    launch.args = std::move(args);
    return seam::run(launch);
  };
  seam::Outcome valid = command({"zadatak", trace});
  EXPECT_EQ(valid.status, 0) << valid.describe();
  EXPECT_EQ(valid.lines().size(), 1u);

  seam::Outcome wrong = command({"niz-mark", trace});
  EXPECT_EQ(wrong.status, 1) << wrong.describe();
  EXPECT_TRUE(wrong.out.starts_with("line 1: not a niz-mark trace line")) << wrong.out;

  seam::Outcome scoped = command({"zadatak", "--workers", "0,1,2,3,4,5,6,7,8,9", trace});
  EXPECT_EQ(scoped.status, 0) << scoped.describe();
  seam::Outcome fewer = command({"zadatak", "--workers", "0,3", trace});
  EXPECT_EQ(fewer.status, 1) << fewer.describe();

  for (std::vector<std::string> args : {std::vector<std::string>{}, {"zadatak", "/nonexistent"}, {"nepoznat"},
                                        {"zadatak", trace, "extra"}, {"zadatak", "--workers", "10", trace},
                                        {"zadatak", "--workers", "1,,2", trace}, {"zadatak", "--workers", "-0"},
                                        {"zadatak", "--workers"}}) {
    seam::Outcome bad = command(args);
    EXPECT_EQ(bad.status, 2) << bad.describe();
    EXPECT_NE(bad.err, "");
  }
}

}  // namespace
