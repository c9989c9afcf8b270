// What standard output can do: redraw in place, colour, its size, and word
// of a resize.
#pragma once

#include <optional>

namespace prikaz {

struct Terminal {
  bool cursor = false;   // a terminal that moves its cursor: TERM set and not "dumb"
  bool colour = false;   // ... and NO_COLOR unset or empty
  bool unicode = false;  // draw with · █ ✓ ✗ (wherever the cursor moves)
};

// Standard output as it is: a file or pipe gets none of the above.
Terminal standardOutput();

struct Size {
  int columns = 0;
  int rows = 0;
  bool operator==(const Size&) const = default;
};

// Standard output's size; nullopt when it is not a terminal or will not say.
std::optional<Size> terminalSize();

// From now on a resize interrupts whatever waits (a poll returns early), so
// that the next frame is drawn at the new size without delay.
void followResizes();

}  // namespace prikaz
