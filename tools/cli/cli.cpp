#include "cli.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace cli {
namespace {

// The first write error on standard output; written only by writeOut.
std::atomic<int> firstError{0};

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

}  // namespace

bool isHelp(std::string_view arg) { return arg == "-h" || arg == "--help"; }

bool standardStreamsReady(std::string_view tool) {
  for (int fd : {STDIN_FILENO, STDERR_FILENO}) {
    if (isOpen(fd)) continue;
    int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
  if (isOpen(STDOUT_FILENO)) return true;
  complain(tool, "standard output is closed");
  return false;
}

bool writeOut(std::string_view text) {
  if (firstError.load(std::memory_order_relaxed) != 0) return false;
  while (!text.empty()) {
    ssize_t n = write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      firstError.store(n < 0 ? errno : EIO, std::memory_order_relaxed);
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int outputError() { return firstError.load(std::memory_order_relaxed); }

void complain(std::string_view tool, std::string_view what, int error) {
  std::string line = std::string(tool) + ": " + std::string(what);
  if (error != 0) line += std::string(": ") + std::strerror(error);
  line += "\n";
  (void)!write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace cli
