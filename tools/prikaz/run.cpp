#include "run.hpp"

#include <cerrno>
#include <csignal>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "cli.hpp"
#include "files.hpp"
#include "frame.hpp"
#include "text.hpp"

namespace prikaz {
namespace {

// The lines of a program's standard error, each made safe to show.
std::string safeLines(std::string_view text) {
  std::string shown;
  while (!text.empty()) {
    std::size_t end = std::min(text.find('\n'), text.size());
    shown += safeText(text.substr(0, end)) + "\n";
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return shown;
}

}  // namespace

void show(const std::string& text) {
  if (!cli::writeOut(text) && timeline::stopReason() == 0)
    timeline::stopRuns(cli::outputError() == EPIPE ? SIGPIPE : -1);
}

std::optional<timeline::RunResult> runProgram(provera::Program program, const Terminal& terminal) {
  RunView view(program, terminal, show);
  std::vector<timeline::Stamped> seen;
  timeline::RunOptions how;
  how.onLine = [&](const timeline::Stamped& line) {
    seen.push_back(line);
    view.update(seen, line.at, true);
  };
  how.onTick = [&](double now) { view.update(seen, now, false); };
  std::string name(provera::nameOf(program));
  timeline::RunResult run = timeline::runStamped({timeline::executableDirectory() + "/" + name}, how);
  if (!run.failure.empty()) {
    cli::complain("prikaz", name + ": " + run.failure);
    return std::nullopt;
  }
  if (run.stopped == 0) view.end(run.lines, run.lines.empty() ? 0 : run.lines.back().at);
  return run;
}

std::optional<timeline::RunResult> loadRun(provera::Program program, const std::string& path,
                                           const Terminal& terminal) {
  std::string text, problem;
  timeline::RunResult run;
  if (!readWhole(path, text)) {
    cli::complain("prikaz", "cannot read a saved run from " + safeText(path), errno);
    return std::nullopt;
  }
  if (!timeline::readStamped(text, run.lines, problem)) {
    cli::complain("prikaz", safeText(path) + ": not a saved run: " + problem);
    return std::nullopt;
  }
  run.status = 0;
  RunView(program, terminal, show).end(run.lines, run.lines.empty() ? 0 : run.lines.back().at);
  return run;
}

bool judge(provera::Program program, const timeline::RunResult& run) {
  std::string name(provera::nameOf(program));
  std::string out;
  bool ok = run.status == 0 && run.errors.empty();
  if (!ok)
    out += name + " ended with status " + std::to_string(run.status) +
           (run.signal ? " (signal " + std::to_string(run.signal) + ")" : "") + "\n" + safeLines(run.errors);
  provera::Report report = provera::check(program, timeline::printed(run));
  if (report.valid() || (report.incomplete && report.violations.empty())) {
    ok = ok && report.valid();  // an incomplete check is no verdict: its summary says so
    out += "provera: " + report.summary + "\n";
  } else {
    ok = false;
    out += "provera: " + std::to_string(report.violations.size()) + " violation(s):\n";
    for (const provera::Violation& v : report.violations) out += "  " + provera::describe(v) + "\n";
  }
  show(out);
  return ok;
}

}  // namespace prikaz
