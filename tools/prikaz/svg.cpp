#include "svg.hpp"

#include <algorithm>
#include <cstdio>

#include "chart.hpp"

namespace prikaz {
namespace {

// The picture's geometry, in pixels.
constexpr double kWidth = 960;
constexpr double kMargin = 16;
constexpr double kLabels = 200;  // the column of worker numbers and commands
constexpr double kChartLeft = kMargin + kLabels;
constexpr double kChartWidth = kWidth - kChartLeft - 2 * kMargin;
constexpr double kRow = 20;  // one worker
constexpr double kBar = 12;
constexpr double kHeading = 30;
constexpr double kAxis = 22;
constexpr double kLegend = 30;
constexpr double kGap = 20;  // between runs
constexpr double kThinnest = 3;    // a phase shorter than this still shows, this wide
constexpr double kMarkRadius = 5;  // of the outcome's disc or square

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string s = text;
  if (s.ends_with(".0")) s.resize(s.size() - 2);
  return s;
}

std::string xmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string rect(double x, double y, double w, double h, Cell cell) {
  return "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(std::max(w, 1.0)) +
         "\" height=\"" + number(h) + "\" fill=\"" + rgbOf(cell) + "\"/>\n";
}

std::string text(double x, double y, const std::string& words, const char* extra = "") {
  return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\"" + extra + ">" + xmlText(words) + "</text>\n";
}

// The outcome: a disc for a success, a square for a failure, centred on (x, y).
std::string outcomeMark(double x, double y, bool succeeded) {
  if (succeeded)
    return "<circle cx=\"" + number(x) + "\" cy=\"" + number(y) + "\" r=\"" + number(kMarkRadius) + "\" fill=\"" +
           rgbOf(Cell::Success) + "\"/>\n";
  return rect(x - kMarkRadius, y - kMarkRadius, 2 * kMarkRadius, 2 * kMarkRadius, Cell::Failure);
}

// A worker's bars and outcome on the row whose bar starts at `barTop`. Each
// phase is kThinnest wide at least, pushing the next one on, and the outcome's
// mark stands just past the bar rather than over its end: so a wait or an
// execution shorter than a pixel still shows, as a thin mark before the mark.
template <class Place>
std::string phases(const timeline::Span& span, double length, Place x, double barTop) {
  std::string out;
  double end = span.ended >= 0 ? span.ended : length;
  double next = 0;  // where the next phase may begin at the earliest
  auto bar = [&](double from, double to, Cell cell) {
    double left = std::max(x(from), next);
    double right = std::max(x(to), left + kThinnest);
    out += rect(left, barTop, right - left, kBar, cell);
    next = right;
  };
  if (span.requested >= 0) bar(span.requested, span.started >= 0 ? span.started : end, Cell::Requested);
  if (span.started >= 0) bar(span.started, end, Cell::Executing);
  if (span.ended >= 0)
    out += outcomeMark(std::max(x(span.ended), next) + kMarkRadius, barTop + kBar / 2, span.succeeded);
  return out;
}

// Seconds between ticks: a round step giving at most a dozen ticks.
double tickStep(double length) {
  for (double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0, 120.0, 300.0, 600.0})
    if (length / step <= 12) return step;
  return length / 12;
}

double runHeight(const RecordedRun& run) {
  return kHeading + kAxis + kRow * workerCount(run.program) + kLegend;
}

std::string drawRun(const RecordedRun& run, double top) {
  double length = std::max(run.length, 0.5);
  auto x = [&](double seconds) { return kChartLeft + kChartWidth * std::clamp(seconds / length, 0.0, 1.0); };
  int workers = workerCount(run.program);
  double rowsTop = top + kHeading + kAxis;
  double rowsBottom = rowsTop + kRow * workers;
  std::string out = "<g>\n";
  out += text(kMargin, top + 20, std::string(provera::nameOf(run.program)) + ", a run of " + number(run.length) + " s",
              " font-size=\"16\" font-weight=\"bold\"");

  double step = tickStep(length);
  for (double t = 0; t <= length + 1e-9; t += step) {
    out += "<line x1=\"" + number(x(t)) + "\" y1=\"" + number(rowsTop - 4) + "\" x2=\"" + number(x(t)) +
           "\" y2=\"" + number(rowsBottom) + "\" stroke=\"#e0e0e0\"/>\n";
    out += text(x(t), rowsTop - 8, number(t) + " s", " text-anchor=\"middle\" fill=\"#606060\"");
  }

  for (int worker = 0; worker < workers; ++worker) {
    double y = rowsTop + kRow * worker;
    auto span = std::find_if(run.spans.begin(), run.spans.end(),
                             [&](const timeline::Span& s) { return s.worker == worker; });
    std::string label = std::to_string(worker) + (span == run.spans.end() ? "" : " " + span->label);
    out += text(kMargin, y + kRow / 2 + 4, label);
    if (span == run.spans.end()) continue;
    out += phases(*span, run.length, x, y + (kRow - kBar) / 2);
  }

  double legendY = rowsBottom + 20;
  double lx = kChartLeft;
  for (Cell cell : {Cell::Requested, Cell::Executing, Cell::Success, Cell::Failure}) {
    if (cell == Cell::Success || cell == Cell::Failure)
      out += outcomeMark(lx + 7, legendY - 4, cell == Cell::Success);
    else
      out += rect(lx, legendY - 10, 14, kBar, cell);
    std::string meaning = meaningOf(run.program, cell);
    out += text(lx + 20, legendY, meaning);
    lx += 20 + 8 * static_cast<double>(meaning.size()) + 24;
  }
  return out + "</g>\n";
}

}  // namespace

std::string svgTimeline(const std::vector<RecordedRun>& runs) {
  double height = kMargin;
  for (const RecordedRun& run : runs) height += runHeight(run) + kGap;
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth) + "\" height=\"" + number(height) +
         "\" viewBox=\"0 0 " + number(kWidth) + " " + number(height) +
         "\" font-family=\"DejaVu Sans Mono, Menlo, Consolas, monospace\" font-size=\"13\">\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  double top = kMargin;
  for (const RecordedRun& run : runs) {
    out += drawRun(run, top);
    top += runHeight(run) + kGap;
  }
  return out + "</svg>\n";
}

}  // namespace prikaz
