// Names for program counters and data addresses of the running explorer.
#pragma once

#include <cstdint>
#include <string>

namespace istrazi {

// "niz-mark/niz.cpp:70"; "?" without debug information. (Declared in
// istrazi.hpp too, for the scheduler's switch marks.)
std::string sourceLine(uintptr_t pc);

// The same as a whole path and a line number, to read the line itself; an
// empty file and line 0 without debug information.
struct Place {
  std::string file;
  int line = 0;
};
Place sourcePlace(uintptr_t pc);

// The global a data access of `size` bytes lies in: "niz[6]" for an element of
// an array of such elements, "brisDeo" for the whole of one, "zahtevi+36" else.
std::string dataName(uintptr_t address, unsigned size);

}  // namespace istrazi
