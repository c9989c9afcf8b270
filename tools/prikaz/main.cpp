// prikaz [--json FILE] [--svg FILE] [--save FILE | --from FILE] PROGRAM|all
//
// Runs the shipped program on a pseudo-terminal, so that its lines arrive as
// they are printed, and draws its timeline as it goes; then checks the trace.
// Without a terminal that moves its cursor it prints the trace lines as they
// arrive and then the chart. --from draws a run saved earlier with --save
// instead of running one.
//
// Exit status: 0 when every run is clean, 1 when a program failed or its trace
// breaks a rule, 2 for a usage error, input that cannot be read or output that
// cannot be written. On SIGINT, SIGTERM, SIGHUP or a closed pipe the program
// being run is ended and reaped first, then prikaz dies of the same signal.
#include <cerrno>
#include <csignal>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "check.hpp"
#include "cli.hpp"
#include "files.hpp"
#include "run.hpp"
#include "svg.hpp"
#include "text.hpp"
#include "trace_events.hpp"

namespace {

using prikaz::safeText;
using provera::Program;

constexpr const char* kUsage =
    "usage: prikaz [--json FILE] [--svg FILE] [--save FILE | --from FILE] PROGRAM\n"
    "       prikaz [--json FILE] [--svg FILE] all\n"
    "  PROGRAM is zadatak, niz-locks or niz-mark; all runs the three in turn.\n"
    "  --json FILE  also write the run(s) as Chrome trace-event JSON (Perfetto opens it)\n"
    "  --svg FILE   also draw the run(s) as an SVG picture\n"
    "  --save FILE  also write the lines with their arrival times\n"
    "  --from FILE  draw a run saved with --save instead of running the program\n"
    "  -h, --help   show this and exit\n";

struct Options {
  std::vector<Program> programs;
  std::string json, svg, save, from;
  bool help = false;
};

// The options, or nullopt after saying on standard error what is wrong.
std::optional<Options> parseArguments(int argc, char** argv) {
  Options options;
  std::string target;
  auto wrong = [](const std::string& what) {
    cli::complain("prikaz", what);
    return std::nullopt;
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string* value = arg == "--json" ? &options.json : arg == "--svg" ? &options.svg
                         : arg == "--save" ? &options.save : arg == "--from" ? &options.from : nullptr;
    if (cli::isHelp(arg)) {
      options.help = true;
      return options;
    } else if (value) {
      if (++i == argc || argv[i][0] == '\0') return wrong(arg + " needs a file name");
      *value = argv[i];
    } else if (arg.starts_with("-")) {
      return wrong("unknown option " + safeText(arg));
    } else if (!target.empty()) {
      return wrong("one program at a time (or all)");
    } else {
      target = arg;
    }
  }
  if (target.empty()) return wrong("which program? zadatak, niz-locks, niz-mark or all");
  if (!options.save.empty() && !options.from.empty()) return wrong("--save and --from do not go together");
  if (target == "all") {
    if (!options.save.empty() || !options.from.empty()) return wrong("--save and --from take one program, not all");
    options.programs = {Program::Zadatak, Program::NizLocks, Program::NizMark};
  } else if (auto program = provera::programNamed(target)) {
    options.programs = {*program};
  } else {
    return wrong("unknown program " + safeText(target) + "; zadatak, niz-locks, niz-mark or all");
  }
  return options;
}

// The output files, opened before any run.
struct Outputs {
  prikaz::OutputFile json, svg, save;

  bool open(const Options& options) {
    for (auto [file, path] : {std::pair{&json, &options.json}, std::pair{&svg, &options.svg},
                              std::pair{&save, &options.save}})
      if (!path->empty() && !file->open(*path)) {
        cli::complain("prikaz", "cannot write " + safeText(*path), errno);
        return false;
      }
    return true;
  }
  void abandon() {
    json.abandon();
    svg.abandon();
    save.abandon();
  }
};

bool write(prikaz::OutputFile& file, const std::string& text) {
  if (file.write(text)) return true;
  cli::complain("prikaz", "cannot write " + safeText(file.path()), errno);
  return false;
}

// After the runs were stopped: the frame left tidy, the files not half made,
// and prikaz ended the way its cause asks.
int stopped(Outputs& outputs) {
  outputs.abandon();
  int why = timeline::stopReason();
  if (why > 0) {
    if (why != SIGPIPE) cli::writeOut("\r\n");
    timeline::dieOf(why);
  }
  cli::complain("prikaz", "cannot write to standard output", cli::outputError());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!cli::standardStreamsReady("prikaz")) return 2;
  std::optional<Options> options = parseArguments(argc, argv);
  if (!options) {
    cli::complain("prikaz", "-h for help");
    return 2;
  }
  if (options->help) {
    cli::writeOut(kUsage);
    return cli::outputError() == 0 ? 0 : 2;
  }
  Outputs outputs;
  if (!outputs.open(*options)) return 2;

  timeline::stopRunsOnSignals();
  prikaz::followResizes();
  prikaz::Terminal terminal = prikaz::standardOutput();
  bool ok = true;
  std::vector<prikaz::RecordedRun> recorded;
  for (Program program : options->programs) {
    if (!recorded.empty()) prikaz::show("\n");
    std::optional<timeline::RunResult> run = options->from.empty() ? prikaz::runProgram(program, terminal)
                                                                   : prikaz::loadRun(program, options->from, terminal);
    if (timeline::stopReason() != 0) return stopped(outputs);
    if (!run) return 2;
    ok &= prikaz::judge(program, *run);
    recorded.push_back({program, timeline::spans(program, run->lines), run->lines.empty() ? 0 : run->lines.back().at});
    if (outputs.save.isOpen()) {
      std::ostringstream text;
      timeline::writeStamped(text, run->lines);
      if (!write(outputs.save, text.str())) return 2;
    }
  }
  if (timeline::stopReason() != 0) return stopped(outputs);
  if (outputs.json.isOpen() && !write(outputs.json, prikaz::traceEvents(recorded))) return 2;
  if (outputs.svg.isOpen() && !write(outputs.svg, prikaz::svgTimeline(recorded))) return 2;
  return ok ? 0 : 1;
}
