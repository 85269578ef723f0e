// 3:2 cadence arithmetic, checked against the cycle read field by field.
#include "timemap/cadence.h"

#include <gtest/gtest.h>

namespace {

TEST(Cadence, IndexFromPhaseCode) {
  const int expected[] = {3, 3, 4, 0, 1, 2};  // codes 0 to 5
  for (int code = 0; code <= 5; ++code) EXPECT_EQ(CadenceIndex(code), expected[code]) << code;
  // A damaged stored code still gives an index on the tables.
  for (int code : {-7, 6, 99, 2147483647}) {
    EXPECT_GE(CadenceIndex(code), 0) << code;
    EXPECT_LE(CadenceIndex(code), 4) << code;
  }
}

TEST(Cadence, OutputFieldsCarryTheFilmFramesOfTheCycle) {
  // Film frame in the first / second field of video frames 0 to 4.
  const int cycle[5][5][2] = {
      {{0, 0}, {0, 1}, {1, 2}, {2, 2}, {3, 3}}, {{0, 1}, {1, 1}, {2, 2}, {3, 3}, {3, 4}},
      {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {3, 3}}, {{0, 1}, {1, 2}, {2, 2}, {3, 3}, {4, 4}},
      {{0, 0}, {1, 1}, {2, 2}, {2, 3}, {3, 4}},
  };
  for (int c = 0; c < 5; ++c) {
    for (int repeat = 0; repeat < 3; ++repeat) {
      for (int k = 0; k < 5; ++k) {
        const int unit = 10 * repeat + 2 * k;
        EXPECT_EQ(OutputFilmFrame(unit, c, 1), cycle[c][k][0] + 4 * repeat) << c << " " << unit;
        EXPECT_EQ(OutputFilmFrame(unit + 1, c, 2), cycle[c][k][1] + 4 * repeat) << c << " " << unit;
      }
    }
  }
}

TEST(Cadence, FilmFramesAreFoundAmongTheSourceFields) {
  // Source field of the first / second field of film frames 0 to 3.
  const int cycle[5][4][2] = {
      {{0, 1}, {4, 3}, {6, 5}, {8, 9}}, {{0, -1}, {2, 3}, {4, 5}, {6, 7}},
      {{0, 1}, {2, 3}, {6, 5}, {8, 7}}, {{0, -1}, {2, 1}, {4, 5}, {6, 7}},
      {{0, 1}, {2, 3}, {4, 5}, {8, 7}},
  };
  for (int c = 0; c < 5; ++c) {
    for (int film = 0; film < 12; ++film) {
      const int base = 10 * (film / 4);
      EXPECT_EQ(InputFilmField(film + 0.7, c, 1), cycle[c][film % 4][0] + base) << c << film;
      EXPECT_EQ(InputFilmField(film, c, 2), cycle[c][film % 4][1] + base) << c << film;
    }
  }
}

TEST(Cadence, PulldownFieldAtUniformFilmTime) {
  EXPECT_EQ(PulldownFieldAt(12.4, 2, 1), 10);
  // Cadence 0: film frames start at 0, 2.5, 5 and 7.5 of each ten fields.
  const int first[4] = {2, 4, 6, 8};
  const int second[4] = {1, 3, 7, 9};
  for (int b = 0; b < 4; ++b) {
    EXPECT_EQ(PulldownFieldAt(20 + 2.5 * b + 1.0, 0, 1), 20 + first[b]) << b;
    EXPECT_EQ(PulldownFieldAt(20 + 2.5 * b + 1.0, 0, 0), 20 + first[b]) << b;
    EXPECT_EQ(PulldownFieldAt(20 + 2.5 * b + 1.0, 0, 2), 20 + second[b]) << b;
  }
  EXPECT_EQ(PulldownFieldAt(31.0, 4, 2), 31);
}

TEST(Cadence, WholeFrameSelectorStaysOnTheTables) {
  // Selector 0 at the start of the cycle with cadence 0 is the one slot the
  // tables leave open: it keeps the first film frame / field of the cycle.
  EXPECT_EQ(OutputFilmFrame(0, 0, 0), 0);
  EXPECT_EQ(OutputFilmFrame(20, 0, 0), 8);
  EXPECT_EQ(InputFilmField(0, 0, 0), 0);
  EXPECT_EQ(InputFilmField(8, 0, 0), 20);
  // Elsewhere it reads the second-field slot of the previous cadence index.
  EXPECT_EQ(OutputFilmFrame(2, 1, 0), OutputFilmFrame(3, 0, 2));
  EXPECT_EQ(InputFilmField(1, 2, 0), InputFilmField(1, 1, 2));
}

}  // namespace
