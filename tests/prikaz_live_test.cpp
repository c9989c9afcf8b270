// prikaz on terminals of many sizes: every row fits, the final screen holds
// one frame per run, a resize redraws cleanly, and only a terminal that
// supports them gets colour and cursor movement. Bytes from outside are shown
// as escapes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "chart.hpp"
#include "fast_prikaz.hpp"
#include "pty_run.hpp"
#include "scratch.hpp"
#include "screen.hpp"
#include "text.hpp"

namespace {

using provera::Program;

const char* const kPrograms[] = {"zadatak", "niz-locks", "niz-mark"};

// A recorded trace, line i stamped at 0.25 i seconds.
std::vector<timeline::Stamped> recorded(const std::string& program) {
  std::ifstream in(std::string(TRACE_DIR) + "/" + program + ".txt");
  std::vector<timeline::Stamped> lines;
  for (std::string line; std::getline(in, line);) lines.push_back({0.25 * static_cast<double>(lines.size()), line});
  return lines;
}

int count(const std::vector<std::string>& rows, const std::string& start) {
  int n = 0;
  for (const std::string& row : rows) n += row.starts_with(start);
  return n;
}

std::string joinedRows(const std::vector<std::string>& rows) {
  std::string all;
  for (const std::string& row : rows) all += row + "\n";
  return all;
}

// Feeds `out` to `screen`; returns how many characters wrapped outside
// provera's verdicts, which are printed once and may wrap like any long line.
int frameWraps(seam::Screen& screen, std::string_view out) {
  int wraps = 0;
  while (!out.empty()) {
    std::size_t verdict = std::min(out.find("provera: "), out.size());
    int before = screen.wraps();
    screen.feed(out.substr(0, verdict));
    wraps += screen.wraps() - before;
    out.remove_prefix(verdict);
    std::size_t end = std::min(out.find('\n'), out.size());
    screen.feed(out.substr(0, end));
    out.remove_prefix(end);
  }
  return wraps;
}

bool hasColour(const std::string& out) { return std::regex_search(out, std::regex("\x1b\\[[0-9;]*m")); }
bool movesCursor(const std::string& out) { return std::regex_search(out, std::regex("\x1b\\[[0-9;]*[AHJ]")); }

TEST(PrikazChart, EveryRowFitsItsWidth) {
  for (const char* name : kPrograms) {
    Program program = *provera::programNamed(name);
    std::vector<timeline::Stamped> lines = recorded(name);
    std::vector<timeline::Span> spans = timeline::spans(program, lines);
    for (int width = prikaz::kNarrowestChart; width <= 220; ++width)
      for (bool unicode : {false, true}) {
        std::vector<std::string> rows = prikaz::drawChart(program, spans, lines.back().at, width, {unicode, unicode});
        ASSERT_GE(rows.size(), static_cast<std::size_t>(prikaz::workerCount(program) + 2));
        for (const std::string& row : rows) ASSERT_LE(prikaz::widthOf(row), static_cast<std::size_t>(width)) << row;
      }
    EXPECT_TRUE(prikaz::drawChart(program, spans, 3, prikaz::kNarrowestChart - 1, {}).empty());
  }
}

TEST(PrikazChart, LabelsShortenBeforeTimeRunsOut) {
  std::vector<timeline::Stamped> lines = recorded("niz-mark");
  std::vector<timeline::Span> spans = timeline::spans(Program::NizMark, lines);
  std::vector<std::string> wide = prikaz::drawChart(Program::NizMark, spans, 8, 100, {});
  std::vector<std::string> narrow = prikaz::drawChart(Program::NizMark, spans, 8, 39, {});
  EXPECT_EQ(count(wide, " 2 Dodavanje na kraj 5"), 1) << joinedRows(wide);
  EXPECT_EQ(count(narrow, " 2 Dod 5"), 1) << joinedRows(narrow);
  EXPECT_EQ(count(narrow, " 5 Bri 1"), 1) << joinedRows(narrow);
}

TEST(PrikazText, CutsBetweenCharactersAndCountsColumns) {
  EXPECT_EQ(prikaz::cutTo("ЗАХТЕВ: Радник", 3), "ЗАХ");
  EXPECT_EQ(prikaz::widthOf("ЗАХТЕВ"), 6u);
  EXPECT_EQ(prikaz::cutTo("漢字ab", 3), "漢");  // a wide character is not split either
  EXPECT_EQ(prikaz::widthOf("漢字ab"), 6u);
  EXPECT_EQ(prikaz::cutTo("e\xcc\x81x", 1), "e\xcc\x81");  // the accent stays with its letter
  EXPECT_EQ(prikaz::widthOf("\x1b[1;32m✓\x1b[0m"), 1u);
  EXPECT_EQ(prikaz::cutTo("\x1b[2m··\x1b[0m", 1), "\x1b[2m·");
}

TEST(PrikazText, BytesFromOutsideCannotDriveTheTerminal) {
  EXPECT_EQ(prikaz::safeText("a\x1b]0;owned\x07\x1b[2Jb"), "a\\x1b]0;owned\\x07\\x1b[2Jb");
  EXPECT_EQ(prikaz::safeText("\xc2\x9b" "31m \xff\xd0"), "\\xc2\\x9b31m \\xff\\xd0");
  EXPECT_EQ(prikaz::safeText("УСПЕХ: Радник 7"), "УСПЕХ: Радник 7");
}

class PrikazLive : public ::testing::Test {
 protected:
  struct Shown {
    timeline::RunResult run;
    std::string out;
  };
  // prikaz with the given arguments on a terminal of the given size.
  Shown onTerminal(std::vector<std::string> args, int columns, int rows, std::vector<std::string> env = {"TERM=xterm"},
                   std::function<void(std::size_t line, pid_t, int terminal)> onLine = {}) {
    timeline::RunOptions how;
    how.env = env;
    how.env.push_back("SEAM_PAUSE=scale:20");
    how.env.push_back("NO_COLOR");
    how.columns = static_cast<unsigned short>(columns);
    how.rows = static_cast<unsigned short>(rows);
    how.timeout = 30;
    pid_t pid = -1;
    int terminal = -1;
    std::size_t lines = 0;
    how.onStart = [&](pid_t p, int t) { pid = p, terminal = t; };
    how.onLine = [&](const timeline::Stamped&) {
      if (onLine) onLine(++lines, pid, terminal);
    };
    args.insert(args.begin(), seam::fastPrikaz(scratch_));
    Shown shown{timeline::runStamped(args, how), ""};
    shown.out = timeline::printed(shown.run);
    return shown;
  }

  std::string savedRun(const std::vector<std::string>& lines) {
    std::string path = scratch_.path("saved.txt");
    std::ofstream out(path);
    for (std::size_t i = 0; i < lines.size(); ++i) out << 0.5 * static_cast<double>(i) << ' ' << lines[i] << '\n';
    return path;
  }

  seam::Scratch scratch_;
};

TEST_F(PrikazLive, FinalScreenHoldsOneFrameWhoseRowsFit) {
  for (int columns : {40, 80, 200})
    for (const char* name : kPrograms) {
      Shown shown = onTerminal({name}, columns, 30);
      SCOPED_TRACE(std::string(name) + " on " + std::to_string(columns) + " columns");
      ASSERT_EQ(shown.run.status, 0) << shown.out << shown.run.errors;
      seam::Screen screen(columns, 30);
      screen.feed("earlier output\r\n$ prikaz\r\n");  // what stands above must stay
      int wraps = frameWraps(screen, shown.out);
      std::vector<std::string> all = screen.all();
      EXPECT_EQ(wraps, 0) << joinedRows(all);
      EXPECT_EQ(all[0], "earlier output") << joinedRows(all);
      EXPECT_EQ(all[1], "$ prikaz") << joinedRows(all);
      EXPECT_TRUE(screen.unknown().empty()) << screen.unknown().front();
      EXPECT_EQ(count(all, std::string(name) + "  "), 1) << joinedRows(all);
      EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& row) { return row.find("|0s") != row.npos; }),
                1)
          << "one time axis: " << joinedRows(all);
      EXPECT_EQ(count(all, "provera: valid"), 1) << joinedRows(all);
      EXPECT_TRUE(movesCursor(shown.out));
    }
}

// niz-locks's frame is as tall as a 24-row terminal: it must not scroll it.
TEST_F(PrikazLive, AFrameAsTallAsTheTerminalStaysInPlace) {
  Shown shown = onTerminal({"all"}, 80, 24);
  ASSERT_EQ(shown.run.status, 0) << shown.out << shown.run.errors;
  seam::Screen screen(80, 24);
  int wraps = frameWraps(screen, shown.out);
  std::vector<std::string> all = screen.all();
  EXPECT_EQ(wraps, 0) << joinedRows(all);
  for (const char* name : kPrograms) EXPECT_EQ(count(all, std::string(name) + "  "), 1) << name << joinedRows(all);
  EXPECT_EQ(count(all, "19 "), 1) << joinedRows(all);
  EXPECT_EQ(count(all, "provera: valid"), 3) << joinedRows(all);
}

TEST_F(PrikazLive, AResizeRedrawsCleanly) {
  Shown shown = onTerminal({"niz-locks"}, 80, 24, {"TERM=xterm"}, [](std::size_t line, pid_t pid, int terminal) {
    if (line != 5) return;
    winsize size{30, 50, 0, 0};
    ioctl(terminal, TIOCSWINSZ, &size);
    kill(pid, SIGWINCH);
  });
  ASSERT_EQ(shown.run.status, 0) << shown.out << shown.run.errors;
  std::size_t redraw = shown.out.find("\x1b[H\x1b[2J");
  ASSERT_NE(redraw, std::string::npos) << "no redraw after the resize";
  seam::Screen screen(80, 24);
  int wraps = frameWraps(screen, std::string_view(shown.out).substr(0, redraw));
  screen.resize(50, 30);
  wraps += frameWraps(screen, std::string_view(shown.out).substr(redraw));
  std::vector<std::string> visible = screen.visible();
  EXPECT_EQ(wraps, 0) << joinedRows(visible);
  EXPECT_EQ(count(visible, "niz-locks  "), 1) << joinedRows(visible);
  EXPECT_EQ(count(visible, " 0 "), 1) << joinedRows(visible);
  EXPECT_EQ(count(visible, "19 "), 1) << joinedRows(visible);
  EXPECT_NE(joinedRows(visible).find("(0."), std::string::npos) << "the legend: " << joinedRows(visible);
}

TEST_F(PrikazLive, TooNarrowForAChartPrintsTheLinesThenTheChart) {
  Shown shown = onTerminal({"zadatak"}, 20, 30);
  ASSERT_EQ(shown.run.status, 0) << shown.out << shown.run.errors;
  EXPECT_FALSE(movesCursor(shown.out)) << shown.out;
  EXPECT_TRUE(shown.out.starts_with("0123456789ЗАХТЕВ: ")) << shown.out;
  EXPECT_NE(shown.out.find("\n 9 "), std::string::npos) << shown.out;
}

TEST_F(PrikazLive, ColourAndCursorOnlyWhereTheTerminalHasThem) {
  for (const char* term : {"TERM=dumb", "TERM", "TERM="}) {
    Shown shown = onTerminal({"niz-mark"}, 80, 30, {term});
    EXPECT_EQ(shown.out.find('\x1b'), std::string::npos) << term << "\n" << shown.out;
    EXPECT_NE(shown.out.find("\n 9 "), std::string::npos) << shown.out;
  }
  Shown plain = onTerminal({"niz-mark"}, 80, 30, {"TERM=xterm", "NO_COLOR=1"});
  EXPECT_FALSE(hasColour(plain.out)) << plain.out;
  EXPECT_TRUE(movesCursor(plain.out));
  Shown coloured = onTerminal({"niz-mark"}, 80, 30, {"TERM=xterm"});
  EXPECT_TRUE(hasColour(coloured.out));
}

TEST_F(PrikazLive, SavedBytesAreShownAsEscapes) {
  std::string hostile = "\x1b]0;owned\x07\x1b[2J\xc2\x9b" "31m\xff ЗАХТЕВ";
  std::string path = savedRun({"ZAHTEV: Radnik 9 naredba Citanje - 6", hostile});
  std::string shownAs = "\\x1b]0;owned\\x07\\x1b[2J\\xc2\\x9b31m\\xff ЗАХТЕВ";
  Shown live = onTerminal({"--from", path, "niz-mark"}, 80, 30);
  Shown piped = onTerminal({"--from", path, "niz-mark"}, 80, 30, {"TERM=dumb"});
  for (const Shown* shown : {&live, &piped}) {
    EXPECT_EQ(shown->run.status, 1) << shown->out;
    EXPECT_EQ(shown->out.find("\x1b]"), std::string::npos) << shown->out;
    EXPECT_EQ(shown->out.find("\xff"), std::string::npos) << shown->out;
    EXPECT_EQ(shown->out.find("\xc2\x9b"), std::string::npos) << shown->out;
    EXPECT_NE(shown->out.find(shownAs), std::string::npos) << shown->out;
  }
  Shown narrow = onTerminal({"--from", path, "niz-mark"}, 30, 30);
  seam::Screen screen(30, 30);
  screen.feed(narrow.out);
  EXPECT_EQ(count(screen.all(), "  \\x1b]0;owned\\x07\\x1b[2"), 1) << "the latest line, cut to fit: "
                                                                     << joinedRows(screen.all());
}

}  // namespace
