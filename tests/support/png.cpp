#include "png.hpp"

#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace seam {
namespace {

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
  return value;
}

int paeth(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

Picture readPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 8 || file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) throw std::runtime_error(path + ": not a PNG");

  Picture picture;
  int channels = 0;
  std::string compressed;
  for (std::size_t at = 8; at + 8 <= file.size();) {
    std::uint32_t length = bigEndian(file, at);
    std::string type = file.substr(at + 4, 4);
    std::string data = file.substr(at + 8, length);
    if (type == "IHDR") {
      picture.width = static_cast<int>(bigEndian(data, 0));
      picture.height = static_cast<int>(bigEndian(data, 4));
      int depth = data.at(8), colour = data.at(9), interlace = data.at(12);
      channels = colour == 2 ? 3 : colour == 6 ? 4 : 0;
      if (depth != 8 || channels == 0 || interlace != 0)
        throw std::runtime_error(path + ": only 8-bit RGB or RGBA without interlacing is read here");
    } else if (type == "IDAT") {
      compressed += data;
    }
    at += 12 + length;
  }
  if (channels == 0) throw std::runtime_error(path + ": no header");

  std::size_t stride = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(channels);
  std::vector<std::uint8_t> raw((stride + 1) * static_cast<std::size_t>(picture.height));
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()) != Z_OK ||
      rawSize != raw.size())
    throw std::runtime_error(path + ": the pixel data does not inflate");

  // Undo each row's filter, in place, against the row above.
  for (int y = 0; y < picture.height; ++y) {
    std::uint8_t* row = &raw[static_cast<std::size_t>(y) * (stride + 1)];
    std::uint8_t filter = row[0];
    std::uint8_t* line = row + 1;
    const std::uint8_t* up = y > 0 ? line - (stride + 1) : nullptr;
    for (std::size_t i = 0; i < stride; ++i) {
      int a = i >= static_cast<std::size_t>(channels) ? line[i - static_cast<std::size_t>(channels)] : 0;
      int b = up ? up[i] : 0;
      int c = up && i >= static_cast<std::size_t>(channels) ? up[i - static_cast<std::size_t>(channels)] : 0;
      int add = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : paeth(a, b, c);
      if (filter > 4) throw std::runtime_error(path + ": unknown row filter");
      line[i] = static_cast<std::uint8_t>(line[i] + add);
    }
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t* p = line + static_cast<std::size_t>(x) * static_cast<std::size_t>(channels);
      picture.pixels.push_back({p[0], p[1], p[2]});
    }
  }
  return picture;
}

}  // namespace seam
