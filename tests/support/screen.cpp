#include "screen.hpp"

#include <algorithm>

namespace seam {

Screen::Screen(int columns, int rows) : columns_(columns), rows_(rows), cells_(static_cast<std::size_t>(rows)) {}

void Screen::newLine() {
  column_ = 0;
  if (row_ < top_ + rows_ - 1) {
    ++row_;
    return;
  }
  cells_.emplace_back();  // scroll: the top row goes into the scrollback
  ++top_;
  ++row_;
}

void Screen::put(std::string cell) {
  if (column_ >= columns_) {
    ++wraps_;
    newLine();
  }
  if (row().size() <= static_cast<std::size_t>(column_)) row().resize(static_cast<std::size_t>(column_) + 1, " ");
  row()[static_cast<std::size_t>(column_++)] = std::move(cell);
}

void Screen::feed(std::string_view out) {
  for (std::size_t i = 0; i < out.size();) {
    char c = out[i];
    if (c == '\r') {
      column_ = 0;
      ++i;
    } else if (c == '\n') {
      newLine();
      ++i;
    } else if (c == '\x1b' && i + 1 < out.size() && out[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < out.size() && (out[end] < 0x40 || out[end] > 0x7E)) ++end;
      if (end == out.size()) {
        unknown_.emplace_back(out.substr(i));
        return;
      }
      std::string argument(out.substr(i + 2, end - i - 2));
      int n = argument.empty() ? 0 : std::atoi(argument.c_str());
      switch (out[end]) {
        case 'A':
          row_ = std::max(top_, row_ - std::max(n, 1));
          column_ = std::min(column_, columns_ - 1);
          break;
        case 'K':
          if (row().size() > static_cast<std::size_t>(column_)) row().resize(static_cast<std::size_t>(column_));
          break;
        case 'J':
          if (n == 0) {
            if (row().size() > static_cast<std::size_t>(column_)) row().resize(static_cast<std::size_t>(column_));
            for (int r = row_ + 1; r < top_ + rows_; ++r) cells_[static_cast<std::size_t>(r)].clear();
          } else if (n == 2) {
            for (int r = top_; r < top_ + rows_; ++r) cells_[static_cast<std::size_t>(r)].clear();
          } else {
            unknown_.emplace_back(out.substr(i, end + 1 - i));
          }
          break;
        case 'H':
          if (!argument.empty()) unknown_.emplace_back(out.substr(i, end + 1 - i));
          row_ = top_;
          column_ = 0;
          break;
        case 'm': break;
        default: unknown_.emplace_back(out.substr(i, end + 1 - i));
      }
      i = end + 1;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      unknown_.emplace_back(1, c);
      ++i;
    } else {
      std::size_t length = 1;
      while (i + length < out.size() && (out[i + length] & 0xC0) == 0x80) ++length;
      put(std::string(out.substr(i, length)));
      i += length;
    }
  }
}

void Screen::resize(int columns, int rows) {
  columns_ = columns;
  for (int r = top_; r < top_ + rows_; ++r) {
    auto& cells = cells_[static_cast<std::size_t>(r)];
    if (cells.size() > static_cast<std::size_t>(columns)) cells.resize(static_cast<std::size_t>(columns));
  }
  column_ = std::min(column_, columns_);
  rows_ = rows;
  if (row_ >= top_ + rows_) top_ = row_ - rows_ + 1;
  while (cells_.size() < static_cast<std::size_t>(top_ + rows_)) cells_.emplace_back();
}

std::string Screen::text(std::size_t row) const {
  std::string line;
  for (const std::string& cell : cells_[row]) line += cell;
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

std::vector<std::string> Screen::visible() const {
  std::vector<std::string> lines;
  for (int r = top_; r < top_ + rows_; ++r) lines.push_back(text(static_cast<std::size_t>(r)));
  return lines;
}

std::vector<std::string> Screen::all() const {
  std::vector<std::string> lines;
  for (std::size_t r = 0; r < cells_.size(); ++r) lines.push_back(text(r));
  return lines;
}

}  // namespace seam
