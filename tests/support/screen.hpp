// A terminal of a given size, enough of one to follow what prikaz writes:
// carriage return, line feed (as a new line), scrolling, cursor up and home,
// erasing to the end of the line or screen, and colours (dropped). A character
// written past the right edge wraps to the next row and is counted, so that a
// test can tell that every row fitted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace seam {

class Screen {
 public:
  Screen(int columns, int rows);
  void feed(std::string_view output);
  // As xterm does: no reflow; cells past a narrower edge are lost.
  void resize(int columns, int rows);

  std::vector<std::string> visible() const;  // the rows on the screen, trailing blanks trimmed
  std::vector<std::string> all() const;      // the rows scrolled off, then the screen
  int wraps() const { return wraps_; }       // characters that did not fit on their row
  // Control bytes and escape sequences it does not know, as written.
  const std::vector<std::string>& unknown() const { return unknown_; }

 private:
  void newLine();
  void put(std::string cell);
  std::vector<std::string>& row() { return cells_[static_cast<std::size_t>(row_)]; }
  std::string text(std::size_t row) const;

  int columns_, rows_;
  std::vector<std::vector<std::string>> cells_;  // every row ever made: scrolled off, then the screen
  int top_ = 0;                                  // the first row on the screen
  int row_ = 0, column_ = 0;                     // the cursor; column_ == columns_ past the last cell
  int wraps_ = 0;
  std::vector<std::string> unknown_;
};

}  // namespace seam
