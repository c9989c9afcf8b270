// prikaz [--json FILE] [--save FILE | --from FILE] PROGRAM|all
//
// Runs the shipped program on a pseudo-terminal, so that its lines arrive as
// they are printed, and draws its timeline as it goes; then checks the trace.
// Without a terminal it prints the trace lines as they arrive and then a plain
// chart. --from draws a run saved earlier with --save instead of running one.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "chart.hpp"
#include "check.hpp"
#include "pty_run.hpp"
#include "trace_events.hpp"

namespace {

using provera::Program;

constexpr const char* kUsage =
    "usage: prikaz [--json FILE] [--save FILE | --from FILE] PROGRAM\n"
    "       prikaz [--json FILE] all\n"
    "  PROGRAM is zadatak, niz-locks or niz-mark; all runs the three in turn.\n"
    "  --json FILE  also write the run(s) as Chrome trace-event JSON (Perfetto opens it)\n"
    "  --save FILE  also write the lines with their arrival times\n"
    "  --from FILE  draw a run saved with --save instead of running the program\n";

struct Options {
  std::vector<Program> programs;
  std::string json, save, from;
};

std::optional<Options> parseArguments(int argc, char** argv) {
  Options options;
  std::string target;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string* value = arg == "--json" ? &options.json : arg == "--save" ? &options.save
                                         : arg == "--from" ? &options.from : nullptr;
    if (value) {
      if (++i == argc) return std::nullopt;
      *value = argv[i];
    } else if (target.empty() && !arg.starts_with("-")) {
      target = arg;
    } else {
      return std::nullopt;
    }
  }
  if (target == "all" && options.save.empty() && options.from.empty()) {
    options.programs = {Program::Zadatak, Program::NizLocks, Program::NizMark};
  } else if (auto program = provera::programNamed(target)) {
    options.programs = {*program};
  } else {
    return std::nullopt;
  }
  if (!options.save.empty() && !options.from.empty()) return std::nullopt;
  return options;
}

int terminalWidth() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// Redraws a frame of constant height in place, below what was printed before.
class LiveFrame {
 public:
  void show(const std::vector<std::string>& lines) {
    std::string out;
    if (height_ > 0) out += "\x1b[" + std::to_string(height_) + "A";
    for (const std::string& line : lines) out += "\r" + line + "\x1b[K\n";
    height_ = static_cast<int>(lines.size());
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
  }

 private:
  int height_ = 0;
};

// The frame drawn while a run goes on: a heading, the chart and the latest line.
std::vector<std::string> liveFrame(Program program, const std::vector<timeline::Stamped>& lines, double now,
                                   int width) {
  prikaz::Style style{std::getenv("NO_COLOR") == nullptr, true};
  std::string name(provera::nameOf(program));
  std::vector<std::string> frame = {"\x1b[1m" + name + "\x1b[0m  " + std::to_string(static_cast<int>(now)) + " s"};
  auto chart = prikaz::drawChart(program, timeline::spans(program, lines), now, width, style);
  frame.insert(frame.end(), chart.begin(), chart.end());
  std::string last = lines.empty() ? "" : lines.back().text;
  frame.push_back("  " + last.substr(0, static_cast<size_t>(std::max(0, width - 2))));
  return frame;
}

// Runs the program, drawing it live, or printing its lines as they come;
// nullopt when it cannot be run.
std::optional<timeline::RunResult> runProgram(Program program, bool live, int width) {
  LiveFrame frame;
  std::vector<timeline::Stamped> seen;
  timeline::RunOptions how;
  how.onLine = [&](const timeline::Stamped& line) {
    seen.push_back(line);
    if (live)
      frame.show(liveFrame(program, seen, line.at, width));
    else
      std::cout << line.text << std::endl;
  };
  if (live) how.onTick = [&](double now) { frame.show(liveFrame(program, seen, now, width)); };
  std::string name(provera::nameOf(program));
  if (live) std::cout << "\n";
  timeline::RunResult run = timeline::runStamped({timeline::executableDirectory() + "/" + name}, how);
  if (!run.failure.empty()) {
    std::cerr << "prikaz: " << name << ": " << run.failure << "\n";
    return std::nullopt;
  }
  if (live) frame.show(liveFrame(program, run.lines, run.lines.empty() ? 0 : run.lines.back().at, width));
  return run;
}

// A run saved with --save, drawn at once; nullopt when it cannot be read.
std::optional<timeline::RunResult> loadRun(Program program, const std::string& path, bool live, int width) {
  timeline::RunResult run;
  std::ifstream in(path);
  if (!in || !timeline::readStamped(in, run.lines)) {
    std::cerr << "prikaz: cannot read a saved run from " << path << "\n";
    return std::nullopt;
  }
  run.status = 0;
  double end = run.lines.empty() ? 0 : run.lines.back().at;
  if (live) {
    LiveFrame().show(liveFrame(program, run.lines, end, width));
  } else {
    for (const timeline::Stamped& line : run.lines) std::cout << line.text << "\n";
  }
  return run;
}

// The plain chart (when not live) and the verdict; false when the run or its
// trace is not as it should be.
bool judge(Program program, const timeline::RunResult& run, bool live, int width) {
  std::string name(provera::nameOf(program));
  if (!live) {
    double end = run.lines.empty() ? 0 : run.lines.back().at;
    std::cout << "\n";
    for (const std::string& row : prikaz::drawChart(program, timeline::spans(program, run.lines), end, width, {}))
      std::cout << row << "\n";
  }
  bool ok = run.status == 0 && run.errors.empty();
  if (!ok)
    std::cout << name << " ended with status " << run.status
              << (run.signal ? " (signal " + std::to_string(run.signal) + ")" : "") << "\n" << run.errors;
  provera::Report report = provera::check(program, timeline::printed(run));
  if (report.valid()) {
    std::cout << "provera: " << report.summary << "\n";
  } else {
    ok = false;
    std::cout << "provera: " << report.violations.size() << " violation(s):\n";
    for (const provera::Violation& v : report.violations) std::cout << "  " << provera::describe(v) << "\n";
  }
  std::cout.flush();
  return ok;
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) std::cerr << "prikaz: cannot write " << path << ": " << std::strerror(errno) << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options = parseArguments(argc, argv);
  if (!options) {
    std::cerr << kUsage;
    return 2;
  }
  bool live = isatty(STDOUT_FILENO);
  int width = live ? terminalWidth() : 100;
  bool ok = true;
  std::vector<prikaz::RecordedRun> recorded;
  for (Program program : options->programs) {
    if (!recorded.empty()) std::cout << "\n";
    std::optional<timeline::RunResult> run = options->from.empty() ? runProgram(program, live, width)
                                                                   : loadRun(program, options->from, live, width);
    if (!run) return 2;
    ok &= judge(program, *run, live, width);
    recorded.push_back({program, timeline::spans(program, run->lines)});
    if (!options->save.empty()) {
      std::ostringstream text;
      timeline::writeStamped(text, run->lines);
      if (!writeFile(options->save, text.str())) return 2;
    }
  }
  if (!options->json.empty() && !writeFile(options->json, prikaz::traceEvents(recorded))) return 2;
  return ok ? 0 : 1;
}
