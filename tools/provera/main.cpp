// provera PROGRAM [FILE]: judges a trace of zadatak, niz-locks or niz-mark.
// Exit status: 0 valid, 1 violations found, 2 usage error or unreadable input.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "check.hpp"
#include "cli.hpp"

namespace {

constexpr const char* kUsage =
    "usage: provera PROGRAM [FILE]\n"
    "  PROGRAM is zadatak, niz-locks or niz-mark; the trace is read from FILE,\n"
    "  or from standard input when FILE is absent.\n"
    "  -h, --help  show this and exit\n";

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

}  // namespace

int main(int argc, char** argv) {
  if (!cli::standardStreamsReady("provera")) return 2;
  if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
    std::cout << kUsage;
    return 0;
  }
  auto program = argc >= 2 ? provera::programNamed(argv[1]) : std::nullopt;
  if (argc < 2 || argc > 3 || !program) {
    if (argc >= 2 && !program) std::cerr << "provera: unknown program '" << argv[1] << "'\n";
    std::cerr << kUsage;
    return 2;
  }

  std::string text;
  const char* source = argc == 3 ? argv[2] : "standard input";
  int fd = argc == 3 ? open(argv[2], O_RDONLY | O_CLOEXEC) : 0;
  if (fd < 0 || !readAll(fd, text)) {
    std::cerr << "provera: cannot read " << source << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  if (argc == 3) close(fd);

  provera::Report report = provera::check(*program, text);
  if (report.valid())
    std::cout << report.summary << "\n";
  else
    for (const provera::Violation& v : report.violations) std::cout << provera::describe(v) << "\n";
  std::cout.flush();
  if (!std::cout) {
    cli::complain("provera", "cannot write the report", errno);
    return 2;
  }
  return report.valid() ? 0 : 1;
}
