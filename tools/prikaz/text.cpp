#include "text.hpp"

#include "trace.hpp"

namespace prikaz {
namespace {

// The code point at the front of valid UTF-8 text, and its length in bytes.
char32_t decode(std::string_view text, std::size_t& length) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  length = std::min(length, text.size());
  char32_t point = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) point = (point << 6) | (byte(i) & 0x3F);
  return point;
}

// Combining marks take no column of their own; East Asian wide characters and
// emoji take two.
std::size_t columnsOf(char32_t c) {
  if ((c >= 0x300 && c <= 0x36F) || (c >= 0x483 && c <= 0x489) || (c >= 0x200B && c <= 0x200F) ||
      (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F))
    return 0;
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD))
    return 2;
  return 1;
}

// The length of an ESC [ ... sequence at the front of `text`, or 0.
std::size_t escapeLength(std::string_view text) {
  if (text.size() < 2 || text[0] != '\x1b' || text[1] != '[') return 0;
  std::size_t end = 2;
  while (end < text.size() && (text[end] < 0x40 || text[end] > 0x7E)) ++end;
  return std::min(end + 1, text.size());
}

}  // namespace

std::size_t widthOf(std::string_view text) {
  std::size_t columns = 0;
  while (!text.empty()) {
    std::size_t length = escapeLength(text);
    if (length == 0) columns += columnsOf(decode(text, length));
    text.remove_prefix(length);
  }
  return columns;
}

std::string cutTo(std::string_view text, std::size_t columns) {
  std::string kept;
  std::size_t used = 0;
  while (!text.empty()) {
    std::size_t length = escapeLength(text);
    if (length == 0) {
      std::size_t wide = columnsOf(decode(text, length));
      if (used + wide > columns) break;
      used += wide;
    }
    kept += text.substr(0, length);
    text.remove_prefix(length);
  }
  return kept;
}

std::string safeText(std::string_view bytes) { return provera::escaped(bytes); }

}  // namespace prikaz
