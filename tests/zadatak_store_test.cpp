// The array store of zadatak, called directly.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> niz[];
extern std::atomic<int32_t> BROJ_ELEMENATA;
int citajNiz(int index);
int dodajUNiz(int vrednost);
int ukloniUNizu(int index);

namespace {

class Store : public ::testing::Test {
 protected:
  void SetUp() override { fill(9); }

  static void fill(int count) {
    for (int i = 0; i < 100; ++i) niz[i] = 0;
    for (int i = 0; i < count && i < 9; ++i) niz[i] = i + 1;
    BROJ_ELEMENATA = count;
  }
  static std::vector<int> live() {
    std::vector<int> values;
    for (int i = 0; i < BROJ_ELEMENATA; ++i) values.push_back(niz[i]);
    return values;
  }
};

TEST_F(Store, ReadsOnlyLiveElements) {
  EXPECT_EQ(citajNiz(0), 1);
  EXPECT_EQ(citajNiz(8), 9);
  EXPECT_EQ(citajNiz(9), -1);
}

TEST_F(Store, DeletionMovesLaterElementsDown) {
  EXPECT_EQ(ukloniUNizu(0), 0);
  EXPECT_EQ(live(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(ukloniUNizu(8), -1);
  EXPECT_EQ(live(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));

  EXPECT_EQ(ukloniUNizu(7), 7);  // the last live element: only the count drops
  EXPECT_EQ(live(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(Store, AppendOfZeroSucceedsAndBecomesLast) {
  EXPECT_EQ(dodajUNiz(0), 0);
  EXPECT_EQ(BROJ_ELEMENATA, 10);
  EXPECT_EQ(citajNiz(9), 0);
}

TEST_F(Store, EmptyStoreFailsReadsAndDeletions) {
  fill(0);
  for (int index : {0, 1, 8}) {
    EXPECT_EQ(citajNiz(index), -1);
    EXPECT_EQ(ukloniUNizu(index), -1);
  }
  EXPECT_EQ(BROJ_ELEMENATA, 0);
}

TEST_F(Store, FullStoreRefusesAppendInsteadOfOverflowing) {
  BROJ_ELEMENATA = 100;
  EXPECT_EQ(dodajUNiz(5), -1);
  EXPECT_EQ(BROJ_ELEMENATA, 100);
}

}  // namespace
