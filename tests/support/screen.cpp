#include "screen.hpp"

#include <algorithm>

namespace seam {

Screen::Screen(int columns, int rows)
    : columns_(columns), rows_(rows), cells_(static_cast<std::size_t>(rows)), regionBottom_(rows - 1) {}

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
    } else if (c == '\b') {
      column_ = std::max(0, std::min(column_, columns_ - 1) - 1);
      ++i;
    } else if (c == '\x1b' && i + 1 < out.size() && out[i + 1] != '[') {
      // Character sets (ESC ( B), the keypad's modes (ESC = and ESC >), and
      // saving and restoring the cursor: nothing to show.
      char kind = out[i + 1];
      if ((kind == '(' || kind == ')') && i + 2 < out.size()) {
        i += 3;
      } else if (kind == '=' || kind == '>') {
        i += 2;
      } else if (kind == '7') {
        savedRow_ = row_ - top_, savedColumn_ = column_;
        i += 2;
      } else if (kind == '8') {
        row_ = top_ + savedRow_, column_ = savedColumn_;
        i += 2;
      } else {
        unknown_.emplace_back(out.substr(i, 2));
        i += 2;
      }
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
          if (n == 0) {
            if (row().size() > static_cast<std::size_t>(column_)) row().resize(static_cast<std::size_t>(column_));
          } else if (n == 1) {
            for (int k = 0; k <= column_ && k < static_cast<int>(row().size()); ++k) row()[static_cast<std::size_t>(k)] = " ";
          } else {
            row().clear();
          }
          break;
        case 'B':
          row_ = std::min(top_ + rows_ - 1, row_ + std::max(n, 1));
          break;
        case 'C':
          column_ = std::min(columns_ - 1, column_ + std::max(n, 1));
          break;
        case 'D':
          column_ = std::max(0, std::min(column_, columns_ - 1) - std::max(n, 1));
          break;
        case 'G':  // to a column
          column_ = std::clamp(n - 1, 0, columns_ - 1);
          break;
        case 'd':  // to a row
          row_ = top_ + std::clamp(n - 1, 0, rows_ - 1);
          break;
        case 'P':  // delete characters, the rest of the row moving left
          if (static_cast<std::size_t>(column_) < row().size())
            row().erase(row().begin() + column_,
                        row().begin() + std::min<long>(column_ + std::max(n, 1), static_cast<long>(row().size())));
          break;
        case 'X':  // erase characters
          for (int k = column_; k < column_ + std::max(n, 1) && k < static_cast<int>(row().size()); ++k)
            row()[static_cast<std::size_t>(k)] = " ";
          break;
        case 'b':  // repeat the last character
          for (int k = 0; k < std::max(n, 1); ++k) put(last_);
          break;
        case 'r': {  // the scrolling region, and the cursor home
          std::size_t semicolon = argument.find(';');
          int bottom = semicolon == std::string::npos ? rows_ : std::atoi(argument.c_str() + semicolon + 1);
          regionTop_ = std::clamp(std::max(n, 1) - 1, 0, rows_ - 1);
          regionBottom_ = std::clamp(bottom - 1, regionTop_, rows_ - 1);
          row_ = top_;
          column_ = 0;
          break;
        }
        case 'S':  // scroll the region up
        case 'T':  // ... or down
        case 'L':  // insert lines at the cursor, the ones below moving down
        case 'M': {  // delete lines at the cursor, the ones below moving up
          int from = top_ + (out[end] == 'S' || out[end] == 'T' ? regionTop_ : row_ - top_);
          int to = top_ + regionBottom_;  // the region's last row
          if (from > to) break;
          auto first = cells_.begin() + from, last = cells_.begin() + to + 1;
          int count = std::min(std::max(n, 1), to - from + 1);
          if (out[end] == 'S' || out[end] == 'M') {
            std::rotate(first, first + count, last);
            for (auto it = last - count; it != last; ++it) it->clear();
          } else {
            std::rotate(first, last - count, last);
            for (auto it = first; it != first + count; ++it) it->clear();
          }
          break;
        }
        case 'h':
        case 'l':
        case 't':  // modes, the scrolling region (the whole screen) and window operations
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
        case 'f': {
          std::size_t semicolon = argument.find(';');
          int column = semicolon == std::string::npos ? 1 : std::atoi(argument.c_str() + semicolon + 1);
          row_ = top_ + std::clamp(std::max(n, 1) - 1, 0, rows_ - 1);
          column_ = std::clamp(std::max(column, 1) - 1, 0, columns_ - 1);
          break;
        }
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
      last_ = std::string(out.substr(i, length));
      put(last_);
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
  regionTop_ = 0, regionBottom_ = rows - 1;
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
