#include "frame.hpp"

#include <algorithm>

#include "text.hpp"

namespace prikaz {
namespace {

// A terminal that will not tell its size is taken to be the usual one.
constexpr Size kUsualSize{80, 24};
// The chart's width where standard output is not a terminal.
constexpr int kPlainWidth = 100;

Size currentSize() { return terminalSize().value_or(kUsualSize); }

}  // namespace

std::vector<std::string> liveFrame(provera::Program program, const std::vector<timeline::Stamped>& lines, double now,
                                   Size size, const Style& style) {
  // A row as wide as the terminal leaves the cursor past its edge, where
  // terminals disagree on what comes next; one column less is safe everywhere.
  int width = size.columns - 1;
  std::vector<std::string> chart = drawChart(program, timeline::spans(program, lines), now, width, style);
  if (chart.empty()) return {};
  std::string name(provera::nameOf(program));
  std::string heading = (style.colour ? "\x1b[1m" + name + "\x1b[0m" : name) + "  " +
                        std::to_string(static_cast<long>(now)) + " s";
  std::vector<std::string> frame = {heading};
  frame.insert(frame.end(), chart.begin(), chart.end());
  if (static_cast<int>(frame.size()) < size.rows) {
    std::string latest = lines.empty() ? "" : safeText(lines.back().text);
    frame.push_back("  " + cutTo(latest, static_cast<std::size_t>(width - 2)));
  }
  if (static_cast<int>(frame.size()) > size.rows) return {};
  return frame;
}

void LiveScreen::show(const std::vector<std::string>& rows, bool resized) {
  std::string out = "\r";
  if (resized && height_ > 0)
    out += "\x1b[H\x1b[2J";
  else if (height_ > 1)
    out += "\x1b[" + std::to_string(height_ - 1) + "A";
  for (std::size_t i = 0; i < rows.size(); ++i) out += rows[i] + "\x1b[K" + (i + 1 < rows.size() ? "\r\n" : "");
  out += "\x1b[J";
  height_ = static_cast<int>(rows.size());
  write_(out);
}

void LiveScreen::erase() {
  if (height_ == 0) return;
  write_("\x1b[H\x1b[2J");
  height_ = 0;
}

void LiveScreen::finish() {
  if (height_ == 0) return;
  write_("\r\n");
  height_ = 0;
}

RunView::RunView(provera::Program program, const Terminal& terminal, Write write)
    : program_(program), terminal_(terminal), write_(write), screen_(write), live_(terminal.cursor) {
  if (live_) size_ = currentSize();
}

Style RunView::style() const { return {terminal_.colour, terminal_.unicode}; }

void RunView::update(const std::vector<timeline::Stamped>& lines, double now, bool newLine) {
  if (!live_) {
    if (newLine) printLines(lines);
    return;
  }
  Size size = currentSize();
  bool resized = size != size_;
  size_ = size;
  std::vector<std::string> frame = liveFrame(program_, lines, now, size, style());
  if (frame.empty()) {  // no room for a chart any more: the lines from here on
    screen_.erase();
    live_ = false;
    printLines(lines);
    return;
  }
  screen_.show(frame, resized);
}

void RunView::end(const std::vector<timeline::Stamped>& lines, double now) {
  update(lines, now, false);
  if (live_) {
    screen_.finish();
    return;
  }
  printLines(lines);
  int width = kPlainWidth;
  if (std::optional<Size> size = terminalSize()) width = std::max(size->columns - 1, kNarrowestChart);
  std::string out = "\n";
  for (const std::string& row : drawChart(program_, timeline::spans(program_, lines), now, width, style()))
    out += row + "\n";
  write_(out);
}

void RunView::printLines(const std::vector<timeline::Stamped>& lines) {
  std::string out;
  for (; printed_ < lines.size(); ++printed_) out += safeText(lines[printed_].text) + "\n";
  if (!out.empty()) write_(out);
}

}  // namespace prikaz
