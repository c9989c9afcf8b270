// A terminal of a given size, enough of one to follow what prikaz and
// ncurses (as TERM=xterm) write: carriage return, line feed (as a new line),
// backspace, scrolling (of a region too), moving the cursor, inserting and
// deleting lines, erasing, deleting and repeating
// characters, and colours, modes and character sets (dropped). A character
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
  int savedRow_ = 0, savedColumn_ = 0;
  int regionTop_ = 0, regionBottom_ = 0;  // the scrolling region, rows of the screen
  std::string last_ = " ";  // the last character written, for a repeat
  std::vector<std::string> unknown_;
};

}  // namespace seam
