// istrazi --source: a learner's own variant of a program, built on demand with
// the explorer's flags, cached, and judged like the program itself. Each test
// works on a scratch copy of the program's source, with a cache of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "child.hpp"
#include "scratch.hpp"

namespace {

using seam::readFile;

class Source : public ::testing::Test {
 protected:
  // The project's `program` with `from` replaced by `to` (which must be there).
  std::string variant(const std::string& name, const std::string& from = "", const std::string& to = "",
                      const std::string& program = "zadatak/zadatak.cpp") {
    std::string text = readFile(std::string(PROJECT_SOURCE_DIR) + "/" + program);
    if (!from.empty()) {
      std::size_t at = text.find(from);
      EXPECT_NE(at, std::string::npos) << from;
      if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    std::string path = dir.path(name);
    std::ofstream(path) << text;
    return path;
  }
  seam::Outcome istrazi(std::vector<std::string> args) {
    const char* path = std::getenv("PATH");
    seam::Launch launch(ISTRAZI_PATH, {"XDG_CACHE_HOME=" + dir.path("cache"), std::string("PATH=") + (path ? path : "")});
    launch.args = std::move(args);
    return seam::run(launch, std::chrono::seconds(200));
  }
  std::size_t cached() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path("cache/istrazi")))
      count += entry.path().filename().string().starts_with("istrazi-zadatak-");
    return count;
  }
  seam::Scratch dir;
};

// A reader's wait that lets it in at the index under deletion: the variant
// builds, the scheme's rule is named, and the saved schedule replays the
// variant (found in the cache), not the program.
TEST_F(Source, AFlippedWaitIsCaughtAndReplays) {
  std::string file = variant("reader.cpp", "z->argument >= elementSeBrise", "z->argument > elementSeBrise");
  std::string schedule = dir.path("schedule");
  seam::Outcome found = istrazi({"--source", file, "zadatak", "--scenario", "0:0,2:0", "--out", schedule});
  ASSERT_EQ(found.status, 1) << found.describe();
  EXPECT_NE(found.out.find("VIOLATION: after step"), std::string::npos) << found.describe();
  EXPECT_NE(found.out.find("a read of 0 was admitted beside a deletion of 0"), std::string::npos) << found.describe();
  EXPECT_NE(found.out.find("reader.cpp:"), std::string::npos) << "lines of the variant are named\n" << found.describe();
  seam::Outcome replayed = istrazi({"--replay", schedule});
  EXPECT_EQ(replayed.status, 1) << replayed.describe();
  EXPECT_NE(replayed.err.find("a read of 0 was admitted beside a deletion of 0"), std::string::npos)
      << replayed.describe();
}

// The unchanged source passes with the counts of the program's own explorer (the
// same build makes the same steps); a second run takes the cached build, and
// an edit builds anew beside it.
TEST_F(Source, TheUnchangedProgramPassesAsItsOwnExplorerDoesAndIsBuiltOnce) {
  // "istrazi-zadatak[-HASH] SCENARIO: N schedules, M distinct traces, ..., exhausted"
  auto counts = [](const std::string& out) {
    std::size_t from = out.find(' '), to = out.find(", exhausted,");
    return to == std::string::npos ? out : out.substr(from, to - from);
  };
  std::string file = variant("zadatak.cpp");
  seam::Outcome first = istrazi({"--source", file, "zadatak", "--scenario", "0:1,2:4"});
  ASSERT_EQ(first.status, 0) << first.describe();
  EXPECT_NE(first.err.find("building"), std::string::npos) << first.describe();
  seam::Outcome shipped = istrazi({"zadatak", "--scenario", "0:1,2:4"});
  ASSERT_EQ(shipped.status, 0) << shipped.describe();
  EXPECT_EQ(counts(first.out), counts(shipped.out));
  seam::Outcome again = istrazi({"--source", file, "zadatak", "--scenario", "0:1,2:4"});
  ASSERT_EQ(again.status, 0) << again.describe();
  EXPECT_EQ(again.err.find("building"), std::string::npos) << again.describe();
  EXPECT_EQ(counts(again.out), counts(first.out));
  EXPECT_EQ(cached(), 1u);
  std::ofstream(file, std::ios::app) << "// an edit\n";
  EXPECT_EQ(istrazi({"--source", file, "zadatak", "--scenario", "0:1"}).status, 0);
  EXPECT_EQ(cached(), 2u);
}

// A niz-locks variant whose dispatcher waits for the top element between
// reading the count and drawing its index. Worker 1 reads 9 before deletion 0
// lowers the count, draws after it, and its index 8 fails: the draw is taken
// modulo the count the worker read, not the count at the draw.
TEST_F(Source, ADrawIsTakenAgainstTheCountTheWorkerRead) {
  std::string draw = "  int izvucen = izvuci();";
  std::string file = variant("late-draw.cpp", draw, "  if (n > 0) prodji(n - 1);\n" + draw, "niz-locks/niz.cpp");
  std::string trace = dir.path("trace.txt");
  std::ofstream(trace) << "ZAHTEV: Radnik 0 naredba brisanje\nIZVRSAVANJE: Radnik 0 naredba brisanje\n"
                          "USPEH: Radnik 0 naredba brisanje\nZAHTEV: Radnik 1 naredba brisanje\n"
                          "IZVRSAVANJE: Radnik 1 naredba brisanje\nNEUSPEH: Radnik 1 naredba brisanje\n";
  seam::Outcome found = istrazi({"--source", file, "niz-locks", "--explain", trace, "--out", dir.path("schedule")});
  EXPECT_EQ(found.status, 0) << found.describe();
}

// A variant that does not compile: the compiler's messages, then one line.
TEST_F(Source, AVariantThatDoesNotCompileIsReported) {
  std::string file = variant("broken.cpp", "int32_t nCitanje", "int32_t nCitanje = ;\nint32_t unused");
  seam::Outcome outcome = istrazi({"--source", file, "zadatak"});
  EXPECT_EQ(outcome.status, 2) << outcome.describe();
  EXPECT_NE(outcome.err.find("error"), std::string::npos) << outcome.describe();
  EXPECT_NE(outcome.err.find("istrazi: " + file + " did not compile as a variant of zadatak\n"), std::string::npos)
      << outcome.describe();
  EXPECT_EQ(outcome.out, "");
}

// A variant that renamed one global the model reads and shrank another: each
// is named with its use, before anything is linked or explored.
TEST_F(Source, AVariantThatChangesAGlobalTheModelReadsIsReported) {
  std::string text = readFile(std::string(PROJECT_SOURCE_DIR) + "/zadatak/zadatak.cpp");
  std::string renamed;
  for (std::size_t at = 0, next; at < text.size(); at = next + 8) {
    next = text.find("nCitanje", at);
    renamed += text.substr(at, next == std::string::npos ? std::string::npos : next - at);
    if (next == std::string::npos) break;
    renamed += "nReaders";
  }
  std::string array = "std::atomic<int32_t> niz[KAPACITET];";
  std::size_t at = renamed.find(array);
  ASSERT_NE(at, std::string::npos);
  renamed.replace(at, array.size(), "std::atomic<int32_t> niz[50];");
  std::string file = dir.path("renamed.cpp");
  std::ofstream(file) << renamed;
  seam::Outcome outcome = istrazi({"--source", file, "zadatak"});
  EXPECT_EQ(outcome.status, 2) << outcome.describe();
  EXPECT_NE(outcome.err.find("istrazi: " + file + " lacks 'nCitanje', which the explorer of zadatak needs: the readers "
                             "admitted"),
            std::string::npos)
      << outcome.describe();
  EXPECT_NE(outcome.err.find("istrazi: " + file + " makes 'niz' 200 bytes, but the explorer of zadatak reads it as 400 "
                             "(keep its type): the array"),
            std::string::npos)
      << outcome.describe();
  EXPECT_EQ(outcome.out, "");
}

// Each model's table names every global its model and scheme files declare
// extern, so a variant without one is told what it lacks and never meets a
// linker error instead.
TEST(SourceGlobals, EveryGlobalAModelDeclaresIsInItsTable) {
  for (std::string program : {"zadatak", "niz-locks", "niz-mark"}) {
    std::string file = program;
    std::replace(file.begin(), file.end(), '-', '_');
    std::set<std::string> declared;
    for (std::string path : {"/tools/istrazi/model_" + file + ".cpp", "/tools/istrazi/judges/scheme_" + file + ".cpp"}) {
      std::istringstream lines(readFile(std::string(PROJECT_SOURCE_DIR) + path));
      for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("extern ") || line.starts_with("extern \"") || line.find('(') != std::string::npos) continue;
        // "extern TYPE a, b[N];": the names, without template arguments or bounds.
        std::string names;
        int depth = 0;
        for (char c : line.substr(7, line.find(';') - 7)) {
          depth += (c == '<' || c == '[') - (c == '>' || c == ']');
          if (depth == 0 && c != '>' && c != ']') names += c;
        }
        std::istringstream parts(names);
        for (std::string part; std::getline(parts, part, ',');) declared.insert(part.substr(part.rfind(' ') + 1));
      }
    }
    const char* path = std::getenv("PATH");
    seam::Launch launch(ISTRAZI_PATH, {std::string("PATH=") + (path ? path : "")});
    launch.args = {program, "--globals"};
    seam::Outcome listed = seam::run(launch);
    ASSERT_EQ(listed.status, 0) << listed.describe();
    std::set<std::string> table;
    for (const std::string& line : listed.lines()) table.insert(line.substr(0, line.find('\t')));
    EXPECT_FALSE(declared.empty()) << program;
    for (const std::string& name : declared) EXPECT_TRUE(table.contains(name)) << program << ": " << name;
  }
}

}  // namespace
