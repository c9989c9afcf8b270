// prikaz as a person sees it: on a terminal, redirected, and as JSON.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <unistd.h>

#include "child.hpp"
#include "pty_run.hpp"

namespace {

// What a terminal shows after the given output: enough of one to follow
// prikaz's redrawing (carriage return, new line, cursor up, erase to the end
// of the line; colours are dropped).
std::vector<std::string> screen(const std::string& output) {
  std::vector<std::vector<std::string>> rows(1);  // cells of UTF-8 characters
  std::size_t row = 0, column = 0;
  for (std::size_t i = 0; i < output.size();) {
    char c = output[i];
    if (c == '\r') {
      column = 0;
      ++i;
    } else if (c == '\n') {  // as a terminal that turns a line feed into a new line
      if (++row == rows.size()) rows.emplace_back();
      column = 0;
      ++i;
    } else if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
      std::size_t end = output.find_first_of("ABCDHJKm", i + 2);
      std::string argument = output.substr(i + 2, end - i - 2);
      if (output[end] == 'A') row -= std::min<std::size_t>(row, argument.empty() ? 1 : std::stoul(argument));
      if (output[end] == 'K' && column < rows[row].size()) rows[row].resize(column);
      i = end + 1;
    } else {
      std::size_t length = 1;
      while (i + length < output.size() && (output[i + length] & 0xC0) == 0x80) ++length;
      if (rows[row].size() <= column) rows[row].resize(column + 1, " ");
      rows[row][column++] = output.substr(i, length);
      i += length;
    }
  }
  std::vector<std::string> lines;
  for (const auto& cells : rows) {
    std::string line;
    for (const std::string& cell : cells) line += cell;
    line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(line);
  }
  return lines;
}

std::string repeat(const std::string& cell, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += cell;
  return text;
}

class Prikaz : public ::testing::Test {
 protected:
  // The recorded zadatak trace, its line i stamped at 0.25 i + 0.02 seconds, so
  // that no stamp falls on a column's edge. Worker 2's deletion is made to fail.
  void SetUp() override {
    std::ifstream in(std::string(TRACE_DIR) + "/zadatak.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    lines[29] = "НЕУСПЕХ: Радник 2 наредба BRISANJE — 4";
    std::ofstream out(saved_);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      char at[16];
      std::snprintf(at, sizeof at, "%.2f", 0.25 * static_cast<double>(i) + 0.02);
      out << at << ' ' << lines[i] << '\n';
    }
  }
  void TearDown() override {
    std::remove(saved_.c_str());
    std::remove(json_.c_str());
    rmdir(dir_.c_str());
  }

  // A directory of each test's own: ctest runs these tests side by side.
  static std::string makeDirectory() {
    std::string pattern = ::testing::TempDir() + "prikaz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp " << pattern << " failed";
    return pattern;
  }

  std::string dir_ = makeDirectory();
  std::string saved_ = dir_ + "/saved.txt";
  std::string json_ = dir_ + "/run.json";
};

// On an 80-column terminal the 7.27 s run takes 0.2 s a column. Worker 0
// requests at 0.27, executes from 3.27 and succeeds at 4.77.
TEST_F(Prikaz, TerminalShowsARowPerWorkerWithItsPhases) {
  timeline::RunResult run = timeline::runStamped({PRIKAZ_PATH, "--from", saved_, "zadatak"}, {});
  EXPECT_EQ(run.status, 1) << run.errors;  // the altered deletion breaks a rule
  std::vector<std::string> shown = screen(timeline::joined(run.lines));
  std::string all;
  for (const std::string& line : shown) all += line + "\n";

  auto row = [&](const std::string& start) {
    for (const std::string& line : shown)
      if (line.starts_with(start)) return line;
    return std::string("(no row " + start + ")");
  };
  EXPECT_TRUE(row("zadatak").starts_with("zadatak  7 s")) << all;
  EXPECT_EQ(row(" 0 "), " 0 CITANJE 0     " + repeat("·", 15) + repeat("█", 7) + "✓") << all;
  EXPECT_EQ(row(" 2 "), " 2 BRISANJE 4     " + repeat("·", 33) + "█✗") << all;
  EXPECT_NE(all.find("· requested, waiting  █ executing  ✓ success  ✗ failure  (0.2 s a column)"), std::string::npos)
      << all;
  EXPECT_NE(all.find("provera: 1 violation(s):\n  line 30: worker 2: deletion of index 4 failed with 10 live elements"),
            std::string::npos)
      << all;
}

TEST_F(Prikaz, RedirectedOutputGivesTheTraceThenAPlainChart) {
  seam::Launch launch(PRIKAZ_PATH);
  launch.args = {"--from", saved_, "--json", json_, "zadatak"};
  seam::Outcome outcome = seam::run(launch);
  EXPECT_EQ(outcome.status, 1) << outcome.describe();
  std::vector<std::string> lines = outcome.lines();
  ASSERT_GT(lines.size(), 30u) << outcome.out;
  EXPECT_EQ(lines[0], "0123456789ЗАХТЕВ: Радник 1 наредба DODAVANJE — 6");
  // 100 columns: 0.1 s a column.
  std::string row0 = " 0 CITANJE 0    " + std::string(2, ' ') + std::string(30, '.') + std::string(15, '=') + "+";
  EXPECT_NE(outcome.out.find(row0 + " "), std::string::npos) << outcome.out;
  EXPECT_EQ(outcome.out.find("\x1b"), std::string::npos) << "no terminal codes when redirected";
}

TEST_F(Prikaz, JsonHasTheTraceEventFields) {
  seam::Launch launch(PRIKAZ_PATH);
  launch.args = {"--from", saved_, "--json", json_, "zadatak"};
  ASSERT_EQ(seam::run(launch).status, 1);
  std::ifstream in(json_);
  nlohmann::json trace = nlohmann::json::parse(in);

  ASSERT_TRUE(trace.at("traceEvents").is_array());
  int complete = 0, instants = 0, names = 0;
  for (const nlohmann::json& e : trace["traceEvents"]) {
    ASSERT_TRUE(e.at("name").is_string() && e.at("ph").is_string() && e.at("pid").is_number_integer()) << e;
    std::string ph = e["ph"];
    if (ph == "X") {
      ++complete;
      EXPECT_TRUE(e.at("tid").is_number_integer() && e.at("ts").is_number() && e.at("dur").is_number()) << e;
      EXPECT_GE(e["dur"].get<long long>(), 0) << e;
    } else if (ph == "i") {
      ++instants;
      EXPECT_TRUE(e.at("ts").is_number() && e.at("s") == "t") << e;
    } else {
      ASSERT_EQ(ph, "M") << e;
      names += e["name"] == "thread_name";
      EXPECT_TRUE(e.at("args").is_object()) << e;
    }
  }
  EXPECT_EQ(names, 10);
  EXPECT_EQ(instants, 10);
  EXPECT_EQ(complete, 20);  // requested and executing, for every worker

  nlohmann::json executing0 = {{"name", "executing"}, {"cat", "CITANJE 0"}, {"ph", "X"}, {"pid", 1},
                               {"tid", 0},           {"ts", 3270000},     {"dur", 1500000}};
  EXPECT_NE(std::find(trace["traceEvents"].begin(), trace["traceEvents"].end(), executing0), trace["traceEvents"].end());
}

TEST_F(Prikaz, BadArgumentsAreAUsageError) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"nepoznat"}, {"--from"},
                                        {"--from", "/nonexistent", "zadatak"}, {"--save", "x", "all"}}) {
    seam::Launch launch(PRIKAZ_PATH);
    launch.args = args;
    seam::Outcome outcome = seam::run(launch);
    EXPECT_EQ(outcome.status, 2) << outcome.describe();
    EXPECT_NE(outcome.err, "");
  }
}

}  // namespace
