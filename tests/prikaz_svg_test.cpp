// prikaz --svg, checked in a real browser: headless Chromium renders the
// picture to a PNG, in which the phases' colours must stand where the rows are.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "chart.hpp"
#include "child.hpp"
#include "fast_prikaz.hpp"
#include "png.hpp"
#include "scratch.hpp"
#include "svg.hpp"

namespace {

using prikaz::Cell;

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr int kWindowWidth = 960;

seam::Rgb pixelOf(Cell cell) {
  unsigned long value = std::stoul(std::string(prikaz::rgbOf(cell)).substr(1), nullptr, 16);
  return {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value)};
}

class PrikazSvg : public ::testing::Test {
 protected:
  // The recorded zadatak trace, its line i at 0.25 i + 0.02 s, with worker 2's
  // deletion made to fail.
  std::string savedZadatak() {
    std::ifstream in(std::string(TRACE_DIR) + "/zadatak.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    lines[29] = "НЕУСПЕХ: Радник 2 наредба BRISANJE — 4";
    std::string path = scratch_.path("saved.txt");
    std::ofstream out(path);
    for (std::size_t i = 0; i < lines.size(); ++i) out << 0.25 * static_cast<double>(i) + 0.02 << ' ' << lines[i] << '\n';
    return path;
  }

  // Chromium run on `args` with a profile of its own; fails the test, rather
  // than hanging, when it is missing or does not finish.
  seam::Outcome chromium(std::vector<std::string> args) {
    seam::Launch launch(kChromium, {"HOME=" + scratch_.dir(), "PATH=/usr/bin:/bin"});
    launch.args = {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync",
                   "--disable-dev-shm-usage", "--hide-scrollbars", "--user-data-dir=" + scratch_.path("profile")};
    launch.args.insert(launch.args.end(), args.begin(), args.end());
    return seam::run(launch, std::chrono::seconds(60));
  }

  seam::Scratch scratch_;
};

TEST_F(PrikazSvg, ChromiumDrawsEveryPhaseOnItsRow) {
  ASSERT_EQ(access(kChromium, X_OK), 0) << kChromium << " is missing: the Debian package chromium provides it";
  std::string svg = scratch_.path("run.svg");
  seam::Launch launch(PRIKAZ_PATH);
  launch.args = {"--from", savedZadatak(), "--svg", svg, "zadatak"};
  ASSERT_EQ(seam::run(launch).status, 1);  // the altered deletion breaks a rule; the picture is drawn all the same

  std::ifstream in(svg);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = text.find("height=\"");
  ASSERT_NE(at, std::string::npos) << text;
  int height = std::stoi(text.substr(at + 8));

  seam::Outcome dom = chromium({"--dump-dom", "file://" + svg});
  ASSERT_EQ(dom.status, 0) << dom.describe();
  EXPECT_NE(dom.out.find("<svg"), std::string::npos) << dom.out;
  EXPECT_EQ(dom.out.find("parsererror"), std::string::npos) << "the page did not load cleanly:\n" << dom.out;

  std::string png = scratch_.path("run.png");
  seam::Outcome shot = chromium({"--window-size=" + std::to_string(kWindowWidth) + "," + std::to_string(height),
                                 "--screenshot=" + png, "file://" + svg});
  ASSERT_EQ(shot.status, 0) << shot.describe();
  seam::Picture picture = seam::readPng(png);
  ASSERT_EQ(picture.width, kWindowWidth);
  ASSERT_EQ(picture.height, height);

  // The pixel rows where each phase's colour shows as a bar or mark: at least
  // four pixels side by side, which smoothed text never gives.
  std::map<Cell, std::set<int>> rowsOf;
  for (int y = 0; y < picture.height; ++y)
    for (Cell cell : {Cell::Requested, Cell::Executing, Cell::Success, Cell::Failure}) {
      int run = 0;
      for (int x = 0; x < picture.width && run < 4; ++x) run = picture.at(x, y) == pixelOf(cell) ? run + 1 : 0;
      if (run == 4) rowsOf[cell].insert(y);
    }
  // Bands: runs of consecutive pixel rows.
  auto bands = [](const std::set<int>& rows) {
    int count = 0, previous = -2;
    for (int y : rows) count += y != previous + 1, previous = y;
    return count;
  };
  // Ten workers, each waits and executes: ten bands of each, and one more in
  // the legend. Nine succeed and one fails, whose marks share their rows.
  EXPECT_EQ(bands(rowsOf[Cell::Requested]), 11);
  EXPECT_EQ(bands(rowsOf[Cell::Executing]), 11);
  EXPECT_EQ(bands(rowsOf[Cell::Success]), 10);
  EXPECT_EQ(bands(rowsOf[Cell::Failure]), 2);
  // Worker 2's failure mark lies on the third worker's bar row.
  std::vector<int> executing(rowsOf[Cell::Executing].begin(), rowsOf[Cell::Executing].end());
  ASSERT_FALSE(rowsOf[Cell::Failure].empty());
  int failureRow = *rowsOf[Cell::Failure].begin();
  int barRows = static_cast<int>(executing.size()) / 11;
  EXPECT_NEAR(failureRow, executing[static_cast<std::size_t>(2 * barRows)], barRows) << "failure not on worker 2's row";
}

// A worker that waited and executed for no time at all, in a 10 s run: both
// phases still show, each at least three pixels wide, one after the other, and
// the outcome's disc after them rather than over them.
TEST(PrikazSvgPhases, AWaitAndAnExecutionShorterThanAPixelStillShow) {
  timeline::Span span;
  span.label = "CITANJE 0";
  span.requested = span.started = 5;
  span.ended = 5.0001;
  span.succeeded = true;
  std::string svg = prikaz::svgTimeline({{provera::Program::Zadatak, {span}, 10}});
  auto bar = [](Cell cell) {
    return std::string("<rect x=\"([0-9.]+)\" y=\"[0-9.]+\" width=\"([0-9.]+)\" height=\"12\" fill=\"") +
           prikaz::rgbOf(cell) + "\"/>\n";
  };
  std::regex drawn(bar(Cell::Requested) + bar(Cell::Executing) + "<circle cx=\"([0-9.]+)\" cy=\"[0-9.]+\" r=\"5\"");
  std::smatch found;
  ASSERT_TRUE(std::regex_search(svg, found, drawn)) << svg;
  double waitLeft = std::stod(found[1]), waitWidth = std::stod(found[2]);
  double runLeft = std::stod(found[3]), runWidth = std::stod(found[4]), disc = std::stod(found[5]);
  EXPECT_GE(waitWidth, 3);
  EXPECT_GE(runWidth, 3);
  EXPECT_GE(runLeft, waitLeft + waitWidth);
  EXPECT_GE(disc - 5, runLeft + runWidth);
}

TEST_F(PrikazSvg, AllDrawsTheThreeRunsInOnePicture) {
  std::string svg = scratch_.path("all.svg");
  seam::Launch launch(seam::fastPrikaz(scratch_), {"SEAM_PAUSE=scale:2"});
  launch.args = {"--svg", svg, "all"};
  seam::Outcome outcome = seam::run(launch);
  ASSERT_EQ(outcome.status, 0) << outcome.describe();
  std::ifstream in(svg);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(text.starts_with("<?xml")) << text;
  EXPECT_TRUE(text.ends_with("</svg>\n"));
  for (const char* heading : {">zadatak, a run of ", ">niz-locks, a run of ", ">niz-mark, a run of "})
    EXPECT_NE(text.find(heading), std::string::npos) << heading;
  EXPECT_EQ(text.find("href"), std::string::npos) << "the picture must not load anything";
}

}  // namespace
