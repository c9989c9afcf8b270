// poredjenje's figures on small traces whose numbers are known by hand.
#include <gtest/gtest.h>

#include "figures.hpp"

namespace {

using provera::Program;

// A pause-second lasts 0.5 s here, so every figure is twice the seconds.
constexpr double kSecondsPerPause = 0.5;

const std::vector<timeline::Stamped> kNizLocks = {
    {0.0, "ZAHTEV: Radnik 0 naredba dodavanje"},   {0.0, "ZAHTEV: Radnik 3 naredba brisanje"},
    {0.5, "ZAHTEV: Radnik 1 naredba citanje"},     {1.0, "IZVRSAVANJE: Radnik 0 naredba dodavanje"},
    {1.5, "IZVRSAVANJE: Radnik 1 naredba citanje"}, {2.0, "USPEH: Radnik 1 naredba citanje"},
    {2.5, "ZAHTEV: Radnik 2 naredba citanje"},     {2.5, "NEUSPEH: Radnik 2 naredba citanje"},
    {3.0, "USPEH: Radnik 0 naredba dodavanje"},    {3.0, "IZVRSAVANJE: Radnik 3 naredba brisanje"},
    {4.0, "NEUSPEH: Radnik 3 naredba brisanje"},
};

TEST(Figures, OneRunByHand) {
  poredjenje::RunFigures f = poredjenje::measure(Program::NizLocks, kNizLocks, kSecondsPerPause);
  EXPECT_DOUBLE_EQ(f.length, 8.0);
  // Executing: worker 0 for 4, worker 1 for 1, worker 3 for 2 pause-seconds.
  EXPECT_DOUBLE_EQ(f.meanExecuting, 7.0 / 8.0);
  // 0 and 1 together; 3 starts as 0 ends, which is not together.
  EXPECT_EQ(f.maxExecuting, 2);
  EXPECT_EQ(f.waits[0], std::vector<double>{2.0});  // the reader that failed at once never executed
  EXPECT_EQ(f.waits[1], std::vector<double>{2.0});
  EXPECT_EQ(f.waits[2], std::vector<double>{6.0});
  EXPECT_EQ(f.commands, (std::array<int, 3>{2, 1, 1}));
  EXPECT_EQ(f.failures, (std::array<int, 3>{1, 0, 1}));
}

TEST(Figures, NizMarkExecutesFromItsSecondRequest) {
  std::vector<timeline::Stamped> lines = {
      {1.0, "ZAHTEV: Radnik 4 naredba Citanje - 2"},
      {2.0, "ZAHTEV: Radnik 4 naredba Citanje - 2"},
      {3.0, "USPEH: Radnik 4 naredba Citanje - 2 broj 3"},
  };
  poredjenje::RunFigures f = poredjenje::measure(Program::NizMark, lines, kSecondsPerPause);
  EXPECT_DOUBLE_EQ(f.length, 4.0);
  EXPECT_DOUBLE_EQ(f.meanExecuting, 0.5);
  EXPECT_TRUE(f.waits[0].empty());  // no execution line: no wait to measure
}

TEST(Figures, TableSetsTheSchemesSideBySide) {
  poredjenje::Summary locks{Program::NizLocks, {}, 0};
  locks.runs.push_back(poredjenje::measure(Program::NizLocks, kNizLocks, kSecondsPerPause));
  std::vector<timeline::Stamped> longer = kNizLocks;
  for (auto& line : longer) line.at *= 2;  // the same run at half speed
  locks.runs.push_back(poredjenje::measure(Program::NizLocks, longer, kSecondsPerPause));
  poredjenje::Summary mark{Program::NizMark, {}, 1};

  std::string table = poredjenje::table({locks, mark});
  auto row = [&](const std::string& label) {
    std::size_t at = table.find("\n" + label);
    return at == std::string::npos ? "(no row)" : table.substr(at + 1, table.find('\n', at + 1) - at - 1);
  };
  // Lengths 8 and 16: mean 12, sample deviation 5.7.
  EXPECT_EQ(row("run length"), "run length, pause-s (mean ± sd)       12.0 ± 5.7             -") << table;
  EXPECT_EQ(row("executing at once: max"), "executing at once: max                         2             -") << table;
  EXPECT_EQ(row("  deletion"), "  deletion                                  9.00             -") << table;
  EXPECT_NE(table.find("  read                                       50%             -"), std::string::npos) << table;
  EXPECT_EQ(row("traces failing the check"), "traces failing the check                       0             1") << table;
}

}  // namespace
