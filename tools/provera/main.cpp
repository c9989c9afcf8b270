// provera PROGRAM [--workers LIST] [FILE]: judges a trace of zadatak, niz-locks
// or niz-mark.
// Exit status: 0 valid, 1 violations found, 2 usage error or unreadable input,
// 3 the check could not be completed (a search bound was reached).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "check.hpp"
#include "cli.hpp"

namespace {

constexpr const char* kUsage =
    "usage: provera PROGRAM [--workers LIST] [FILE]\n"
    "  PROGRAM is zadatak, niz-locks or niz-mark; the trace is read from FILE,\n"
    "  or from standard input when FILE is absent.\n"
    "  --workers LIST  only these workers (numbers separated by commas, 0,3,5)\n"
    "                  take part; the others must print nothing\n"
    "  -h, --help      show this and exit\n";

// Reads the whole of fd; false with errno set when a read fails.
bool readAll(int fd, std::string& text) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      return true;
    } else if (errno != EINTR) {
      return false;
    }
  }
}

// "0,3,5" as a scope of the program's workers; nullopt when an entry is not one
// of its worker numbers.
std::optional<provera::Scope> scopeNamed(std::string_view list, long workers) {
  provera::Scope scope;
  while (true) {
    std::string_view entry = list.substr(0, list.find(','));
    long id = -1;
    auto [end, error] = std::from_chars(entry.data(), entry.data() + entry.size(), id);
    if (entry.empty() || entry[0] < '0' || entry[0] > '9' || error != std::errc() || end != entry.data() + entry.size() || id < 0 || id >= workers)
      return std::nullopt;
    scope.workers.insert(id);
    if (entry.size() == list.size()) return scope;
    list.remove_prefix(entry.size() + 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!cli::standardStreamsReady("provera")) return 2;
  if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
    std::cout << kUsage;
    return 0;
  }
  auto program = argc >= 2 ? provera::programNamed(argv[1]) : std::nullopt;
  if (argc >= 2 && !program) std::cerr << "provera: unknown program '" << argv[1] << "'\n";
  int next = 2;
  provera::Scope scope;
  if (program && argc >= 3 && std::string_view(argv[2]) == "--workers") {
    std::optional<provera::Scope> named =
        argc >= 4 ? scopeNamed(argv[3], provera::workerCount(*program)) : std::nullopt;
    if (!named) {
      std::cerr << "provera: --workers takes worker numbers 0 to " << provera::workerCount(*program) - 1
                << " separated by commas" << (argc >= 4 ? ", not '" + std::string(argv[3]) + "'" : "") << "\n";
      return 2;
    }
    scope = *named;
    next = 4;
  }
  if (argc < 2 || argc > next + 1 || !program) {
    std::cerr << kUsage;
    return 2;
  }

  std::string text;
  const char* file = argc == next + 1 ? argv[next] : nullptr;
  int fd = file ? open(file, O_RDONLY | O_CLOEXEC) : 0;
  if (fd < 0 || !readAll(fd, text)) {
    std::cerr << "provera: cannot read " << (file ? file : "standard input") << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  if (file) close(fd);

  provera::Report report = provera::check(*program, text, scope);
  for (const provera::Violation& v : report.violations) std::cout << provera::describe(v) << "\n";
  if (report.violations.empty() || report.incomplete) std::cout << report.summary << "\n";
  std::cout.flush();
  if (!std::cout) {
    cli::complain("provera", "cannot write the report", errno);
    return 2;
  }
  if (!report.violations.empty()) return 1;
  return report.incomplete ? 3 : 0;
}
