// Names for program counters and data addresses of the running explorer.
#pragma once

#include <cstdint>
#include <string>

namespace istrazi {

// "niz-mark/niz.cpp:70"; "?" without debug information. (Declared in
// istrazi.hpp too, for the scheduler's switch marks.)
std::string sourceLine(uintptr_t pc);

// The global a data address lies in, with the offset into it: "niz+24".
std::string dataName(uintptr_t address);

}  // namespace istrazi
