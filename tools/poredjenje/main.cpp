// poredjenje [--runs N] [--scale MS]
//
// Runs each program N times with its pauses scaled down (a pause-second lasts
// MS milliseconds), the way the tests run them, checks every trace with
// provera, and prints the three schemes' figures side by side.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "check.hpp"
#include "cli.hpp"
#include "figures.hpp"
#include "pty_run.hpp"

namespace {

using provera::Program;

constexpr const char* kUsage =
    "usage: poredjenje [--runs N] [--scale MS]\n"
    "  --runs N    runs of each program (default 200)\n"
    "  --scale MS  milliseconds a pause-second lasts (default 5)\n"
    "  -h, --help  show this and exit\n";

struct Options {
  int runs = 200;
  int scale = 5;
  bool help = false;
};

std::optional<int> positive(const char* text, int most) {
  try {
    std::size_t used = 0;
    int value = std::stoi(text, &used);
    if (text[used] != '\0' || value < 1 || value > most) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The options, or nullopt after saying on standard error what is wrong.
std::optional<Options> parseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; i += 2) {
    std::string flag = argv[i];
    if (cli::isHelp(flag)) {
      options.help = true;
      return options;
    }
    if (flag != "--runs" && flag != "--scale") {
      cli::complain("poredjenje", "unknown option " + provera::escaped(flag));
      return std::nullopt;
    }
    int most = flag == "--runs" ? 100000 : 1000;
    std::optional<int> value = i + 1 < argc ? positive(argv[i + 1], most) : std::nullopt;
    if (!value) {
      cli::complain("poredjenje", flag + " needs a whole number from 1 to " + std::to_string(most));
      return std::nullopt;
    }
    (flag == "--runs" ? options.runs : options.scale) = *value;
  }
  return options;
}

// The test builds of the programs, built beside this tool.
std::string testBuildOf(Program program) {
  return timeline::executableDirectory() + "/../test-bin/" + std::string(provera::nameOf(program)) + "-seam";
}

class Progress {
 public:
  Progress(int total, bool shown) : total_(total), shown_(shown) {}
  void advance(const std::string& what) {
    std::lock_guard lock(mutex_);
    ++done_;
    if (!shown_) return;
    constexpr int kWidth = 30;
    int filled = done_ * kWidth / total_;
    std::fprintf(stderr, "\r[%s%s] %d/%d %-10s", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), done_, total_, what.c_str());
    if (done_ == total_) std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
  }

 private:
  std::mutex mutex_;
  int done_ = 0;
  int total_;
  bool shown_;
};

poredjenje::Summary compare(Program program, const Options& options, Progress& progress) {
  poredjenje::Summary summary{program, {}, 0};
  std::string path = testBuildOf(program);
  std::string name(provera::nameOf(program));
  std::mutex mutex;
  std::atomic<int> next{0};
  auto work = [&] {
    while (next++ < options.runs && timeline::stopReason() == 0) {
      timeline::RunOptions how;
      how.env = {"SEAM_PAUSE=scale:" + std::to_string(options.scale)};
      how.timeout = 60;
      timeline::RunResult run = timeline::runStamped({path}, how);
      bool good = run.failure.empty() && run.status == 0 && run.errors.empty() &&
                  provera::check(program, timeline::printed(run)).valid();
      poredjenje::RunFigures figures = poredjenje::measure(program, run.lines, options.scale / 1000.0);
      {
        std::lock_guard lock(mutex);
        summary.runs.push_back(std::move(figures));
        summary.failedChecks += !good;
      }
      progress.advance(name);
    }
  };
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i) workers.emplace_back(work);
  for (std::thread& t : workers) t.join();
  return summary;
}

}  // namespace

int main(int argc, char** argv) {
  if (!cli::standardStreamsReady("poredjenje")) return 2;
  std::optional<Options> options = parseArguments(argc, argv);
  if (!options) {
    cli::complain("poredjenje", "-h for help");
    return 2;
  }
  if (options->help) {
    cli::writeOut(kUsage);
    return cli::outputError() == 0 ? 0 : 2;
  }
  const Program programs[] = {Program::Zadatak, Program::NizLocks, Program::NizMark};
  for (Program program : programs)
    if (access(testBuildOf(program).c_str(), X_OK) != 0) {
      std::cerr << "poredjenje: no test build of " << provera::nameOf(program) << " at " << testBuildOf(program)
                << " (make build makes it)\n";
      return 2;
    }

  // A signal ends the runs in progress, their programs reaped, before
  // poredjenje dies of it.
  timeline::stopRunsOnSignals();
  Progress progress(3 * options->runs, isatty(STDERR_FILENO));
  std::vector<poredjenje::Summary> summaries;
  for (Program program : programs) summaries.push_back(compare(program, *options, progress));
  if (int why = timeline::stopReason(); why > 0) timeline::dieOf(why);
  if (!cli::writeOut(poredjenje::table(summaries))) {
    cli::complain("poredjenje", "cannot write to standard output", cli::outputError());
    return 2;
  }
  bool clean = true;
  for (const poredjenje::Summary& s : summaries) clean &= s.failedChecks == 0;
  return clean ? 0 : 1;
}
