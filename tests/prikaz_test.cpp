// prikaz as a person sees it: on a terminal, redirected, and as JSON.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "chart.hpp"
#include "child.hpp"
#include "pty_run.hpp"
#include "scratch.hpp"
#include "screen.hpp"

namespace {

// What a roomy terminal shows after the given output.
std::vector<std::string> screen(const std::string& output) {
  seam::Screen terminal(400, 200);
  terminal.feed(output);
  return terminal.all();
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
  seam::Scratch scratch_;
  std::string saved_ = scratch_.path("saved.txt");
  std::string json_ = scratch_.path("run.json");
};

// On an 80-column terminal the 7.27 s run takes 0.2 s a column. Worker 0
// requests at 0.27, executes from 3.27 and succeeds at 4.77.
TEST_F(Prikaz, TerminalShowsARowPerWorkerWithItsPhases) {
  timeline::RunOptions how;
  how.env = {"TERM=xterm"};
  how.columns = 80;
  how.rows = 24;
  timeline::RunResult run = timeline::runStamped({PRIKAZ_PATH, "--from", saved_, "zadatak"}, how);
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
  // The legend wraps under the time columns rather than past the edge.
  EXPECT_NE(all.find("                · requested, waiting  █ executing  ✓ success  ✗ failure\n"
                     "                (0.2 s a column)\n"),
            std::string::npos)
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

timeline::Span read(long worker, double requested, double started, double ended) {
  timeline::Span span;
  span.worker = worker;
  span.label = "CITANJE 0";
  span.requested = requested;
  span.started = started;
  span.ended = ended;
  span.succeeded = true;
  return span;
}

// Every phase keeps a column of its own, however short: 4 s on 60 columns take
// 0.1 s a column, 40 of them. Worker 0 executes for a millisecond after a
// second's wait; worker 1 goes through every phase within one column, and so
// does worker 2, in the row's last.
TEST(PrikazChart, APhaseShorterThanAColumnStillShows) {
  std::vector<timeline::Span> spans = {read(0, 0.05, 1.05, 1.051), read(1, 2.05, 2.051, 2.052),
                                       read(2, 3.95, 3.96, 3.97)};
  std::vector<std::string> rows = prikaz::drawChart(provera::Program::Zadatak, spans, 4, 60, {});
  ASSERT_GT(rows.size(), 3u);
  EXPECT_EQ(rows[1], " 0 CITANJE 0  " + std::string(10, '.') + "=+" + std::string(28, ' '));
  EXPECT_EQ(rows[2], " 1 CITANJE 0  " + std::string(20, ' ') + ".=+" + std::string(17, ' '));
  EXPECT_EQ(rows[3], " 2 CITANJE 0  " + std::string(37, ' ') + ".=+");
}

TEST_F(Prikaz, BadArgumentsAreAUsageError) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"nepoznat"}, {"--from"},
                                        {"--from", scratch_.path("missing.txt"), "zadatak"}, {"--save", "x", "all"}}) {
    seam::Launch launch(PRIKAZ_PATH);
    launch.args = args;
    seam::Outcome outcome = seam::run(launch);
    EXPECT_EQ(outcome.status, 2) << outcome.describe();
    EXPECT_NE(outcome.err, "");
  }
}

}  // namespace
