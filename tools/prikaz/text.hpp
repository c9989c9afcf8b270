// Text on a terminal: how many columns it takes, cutting it between
// characters, and bytes from a trace or a saved file made safe to show.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace prikaz {

// The columns `text` takes on a terminal. Precondition: `text` is valid UTF-8
// (made so by safeText); ESC [ ... sequences, our own colours, take none.
std::size_t widthOf(std::string_view text);

// The longest start of `text` that takes at most `columns`, cut between
// characters; escape sequences are kept whole.
std::string cutTo(std::string_view text, std::size_t columns);

// Bytes from outside (a trace line, a saved file, a program's errors) as
// provera quotes them: control bytes and bytes that are not UTF-8 escaped, so
// that nothing in them reaches the terminal as a command.
std::string safeText(std::string_view bytes);

}  // namespace prikaz
