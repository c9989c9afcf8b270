// A copy of prikaz beside the test builds of the programs, under the names
// prikaz runs, so that with SEAM_PAUSE=scale:N a whole run takes milliseconds.
#pragma once

#include <filesystem>
#include <string>

#include "child.hpp"
#include "scratch.hpp"

namespace seam {

inline std::string fastPrikaz(const Scratch& scratch) {
  std::string copy = scratch.path("prikaz");
  if (std::filesystem::exists(copy)) return copy;
  std::filesystem::copy_file(PRIKAZ_PATH, copy);
  for (const char* program : {"zadatak", "niz-locks", "niz-mark"})
    std::filesystem::create_symlink(programPath(program, Build::Plain), scratch.path(program));
  return copy;
}

}  // namespace seam
