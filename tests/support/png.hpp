// Reads a PNG picture into RGB pixels: enough of the format for what a
// browser writes (8-bit RGB or RGBA, not interlaced).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace seam {

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;  // row by row from the top
  Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

// Throws std::runtime_error saying what is wrong with the file.
Picture readPng(const std::string& path);

}  // namespace seam
