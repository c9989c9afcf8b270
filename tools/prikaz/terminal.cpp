#include "terminal.hpp"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace prikaz {
namespace {

// Does nothing: its only work is to interrupt the poll that waits for lines.
void onResize(int) {}

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

Terminal standardOutput() {
  Terminal terminal;
  if (!isatty(STDOUT_FILENO)) return terminal;
  terminal.cursor = set("TERM") && std::string_view(std::getenv("TERM")) != "dumb";
  terminal.unicode = terminal.cursor;
  terminal.colour = terminal.cursor && !set("NO_COLOR");
  return terminal;
}

std::optional<Size> terminalSize() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return std::nullopt;
  return Size{size.ws_col, size.ws_row};
}

void followResizes() {
  struct sigaction action {};
  action.sa_handler = onResize;
  sigemptyset(&action.sa_mask);
  sigaction(SIGWINCH, &action, nullptr);
}

}  // namespace prikaz
