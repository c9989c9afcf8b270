// The sequential model of the array that the explorer judges every run's data
// against, and the search for an order of the commands that fits a run.
#include "judges/linear.hpp"

#include <gtest/gtest.h>

namespace {

using istrazi::Command;
using istrazi::linear::Array;
using istrazi::linear::Operation;

TEST(SequentialArray, FailsPastTheEndMovesLaterElementsDownAndAppendsAtTheEnd) {
  Array array;
  EXPECT_FALSE(array.apply(Command::Read, 9).success);
  EXPECT_FALSE(array.apply(Command::Delete, 9).success);
  EXPECT_EQ(array.apply(Command::Read, 8).value, 9);
  EXPECT_TRUE(array.apply(Command::Delete, 3).success);
  EXPECT_EQ(array.elements, (std::vector<int>{1, 2, 3, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(array.apply(Command::Append, 9).success);
  EXPECT_EQ(array.elements.back(), 9);

  Array marked;
  marked.appendNeedsValueBelowLength = true;
  EXPECT_FALSE(marked.apply(Command::Append, 9).success);
  EXPECT_TRUE(marked.apply(Command::Append, 8).success);
  EXPECT_EQ(marked.elements.size(), 10u);
}

Operation op(Command command, int argument, int requested, int reported, bool success) {
  return {"worker", command, argument, requested, reported, success, std::nullopt};
}

TEST(Linearizable, OverlappingCommandsMayTakeEffectInEitherOrder) {
  // Delete 8 and read 8 overlap: the read may go first and succeed, or second and fail.
  std::vector<int> after{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(istrazi::linear::check({op(Command::Delete, 8, 0, 5, true), op(Command::Read, 8, 1, 6, true)}, after, false), "");
  EXPECT_EQ(istrazi::linear::check({op(Command::Delete, 8, 0, 5, true), op(Command::Read, 8, 1, 6, false)}, after, false), "");
}

TEST(Linearizable, RejectsWhatNoOrderWithinTheIntervalsGives) {
  std::vector<int> after{1, 2, 3, 4, 5, 6, 7, 8};
  // The read was requested after the deletion reported: it must see 8 elements.
  EXPECT_NE(istrazi::linear::check({op(Command::Delete, 8, 0, 2, true), op(Command::Read, 8, 3, 6, true)}, after, false), "");
  // A final array that no order leaves.
  EXPECT_NE(istrazi::linear::check({op(Command::Delete, 3, 0, 2, true)}, after, false), "");
  // A value the read could not have seen at any moment.
  Operation read = op(Command::Read, 2, 0, 4, true);
  read.value = 7;
  EXPECT_NE(istrazi::linear::check({op(Command::Delete, 2, 1, 3, true), read}, {1, 2, 4, 5, 6, 7, 8, 9}, false), "");
  for (int seen : {3, 4}) {  // before the deletion, or after it
    read.value = seen;
    EXPECT_EQ(istrazi::linear::check({op(Command::Delete, 2, 1, 3, true), read}, {1, 2, 4, 5, 6, 7, 8, 9}, false), "");
  }
}

// Of two equal appends, only the one that reported first may go before the
// read, which fails past one append; the other must wait until after it.
TEST(Linearizable, PlacesTheEqualCommandThatReportedFirstFirst) {
  std::vector<int> after{1, 2, 3, 4, 5, 6, 7, 8, 9, 5, 5};
  std::vector<Operation> run{op(Command::Append, 5, 0, 100, true), op(Command::Append, 5, 0, 2, true),
                             op(Command::Read, 10, 3, 4, false)};
  EXPECT_EQ(istrazi::linear::check(run, after, false), "");
}

// A whole run: twenty commands all under way at once. The orders are too many
// to try one by one, so the search must not depend on trying them all.
TEST(Linearizable, DecidesAWholeRunOfOverlappingCommands) {
  std::vector<Operation> run;
  for (int k = 0; k < 6; ++k) {
    run.push_back(op(Command::Delete, 0, k, 100 + k, true));
    run.push_back(op(Command::Append, 0, 6 + k, 106 + k, true));
  }
  for (int k = 0; k < 8; ++k) run.push_back(op(Command::Read, 8, 12 + k, 112 + k, k % 2 == 0));
  EXPECT_EQ(istrazi::linear::check(run, {7, 8, 9, 0, 0, 0, 0, 0, 0}, false), "");
  EXPECT_NE(istrazi::linear::check(run, {9, 8, 7, 0, 0, 0, 0, 0, 0}, false), "");
}

}  // namespace
