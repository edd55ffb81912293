// The closed-form pieces of reference rewriting checked against the literal step-by-step
// definitions: the block-move map and its bounding box, and trimming a range against deleted
// indices. Python reaches these only through whole formulas.
#include "core/refs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace tabrix::refs {
namespace {

// The move map as defined, index by index.
uint32_t literal_map(uint32_t s, uint32_t e, uint32_t f, uint32_t i) {
  uint32_t n = e - s + 1;
  if (s <= i && i <= e) return i + (f - s);
  if (f < s && f <= i && i < s) return i + n;
  if (f > s && e < i && i < f + n) return i - n;
  return i;
}

TEST(BlockMove, MapAndBoundingBoxMatchTheDefinitionOnASmallGrid) {
  constexpr uint32_t kSize = 12;
  for (uint32_t s = 0; s < kSize; ++s)
    for (uint32_t e = s; e < kSize; ++e)
      for (uint32_t f = 0; f + (e - s) < kSize; ++f) {
        auto move = make_block_move(s, e, f);
        if (f == s) {
          EXPECT_FALSE(move);
          continue;
        }
        ASSERT_TRUE(move);
        std::set<uint32_t> images;
        for (uint32_t i = 0; i < kSize + 3; ++i) {
          ASSERT_EQ(move->map(i), literal_map(s, e, f, i)) << s << " " << e << " " << f << " " << i;
          if (i < kSize) images.insert(move->map(i));
        }
        EXPECT_EQ(images.size(), kSize) << "not a permutation";
        for (uint32_t lo = 0; lo < kSize + 2; ++lo)
          for (uint32_t hi = lo; hi < kSize + 2; ++hi) {
            uint32_t want_lo = UINT32_MAX, want_hi = 0;
            for (uint32_t i = lo; i <= hi; ++i) {
              want_lo = std::min(want_lo, move->map(i));
              want_hi = std::max(want_hi, move->map(i));
            }
            EXPECT_EQ(move->bounding_box(lo, hi), std::pair(want_lo, want_hi))
                << "block " << s << ".." << e << " to " << f << ", interval " << lo << ".." << hi;
          }
      }
}

TEST(BlockMove, WholeGridIntervalsAndBlocksNearTheEnd) {
  auto down = make_block_move(0, 0, kLastIndex);  // the first index moves to the last
  ASSERT_TRUE(down);
  EXPECT_EQ(down->map(0), kLastIndex);
  EXPECT_EQ(down->map(kLastIndex), kLastIndex - 1);
  EXPECT_EQ(down->bounding_box(0, kLastIndex), std::pair(0u, kLastIndex));
  EXPECT_EQ(down->bounding_box(1, kLastIndex), std::pair(0u, kLastIndex - 1));
  EXPECT_EQ(down->bounding_box(0, 0), std::pair(kLastIndex, kLastIndex));

  auto up = make_block_move(kLastIndex - 9, kLastIndex, 0);  // the last ten move to the top
  ASSERT_TRUE(up);
  EXPECT_EQ(up->map(kLastIndex), 9u);
  EXPECT_EQ(up->map(0), 10u);
  EXPECT_EQ(up->bounding_box(5, kLastIndex - 10), std::pair(15u, kLastIndex));
  EXPECT_EQ(up->bounding_box(5, kLastIndex - 5), std::pair(0u, kLastIndex));

  // Moves that cannot happen on the grid.
  EXPECT_FALSE(make_block_move(1, 0, 5));           // reversed
  EXPECT_FALSE(make_block_move(0, 1, kLastIndex));  // would end past the grid
  EXPECT_FALSE(make_block_move(0, UINT32_MAX, 1));  // starts past the grid
  EXPECT_FALSE(make_block_move(kLastIndex, UINT32_MAX, 0));
}

// trim_and_shift_range as defined: step the ends inwards, then count deletions below them.
std::optional<std::pair<uint32_t, uint32_t>> literal_trim(uint32_t low, uint32_t high,
                                                          const std::set<uint32_t>& set) {
  if (high < low) return std::nullopt;
  while (set.count(low)) {
    if (low == high) return std::nullopt;
    ++low;
  }
  while (set.count(high)) {
    if (high == low) return std::nullopt;
    --high;
  }
  auto before = [&](uint32_t i) {
    return uint32_t(std::distance(set.begin(), set.lower_bound(i)));
  };
  return std::pair(low - before(low), high - before(high));
}

TEST(TrimAndShiftRange, MatchesTheStepwiseDefinition) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::set<uint32_t> set;
    int count = int(rng() % 12);
    for (int k = 0; k < count; ++k) set.insert(rng() % 16);
    std::vector<uint32_t> sorted(set.begin(), set.end());
    uint32_t low = rng() % 18, high = rng() % 18;
    EXPECT_EQ(trim_and_shift_range(low, high, sorted), literal_trim(low, high, set))
        << "interval " << low << ".." << high << " round " << round;
  }
}

TEST(TrimAndShiftRange, LongRunsAndTheEndsOfTheIndexRange) {
  std::vector<uint32_t> run;
  for (uint32_t i = 1000; i < 200000; ++i) run.push_back(i);
  EXPECT_EQ(trim_and_shift_range(1000, 199999, run), std::nullopt);
  EXPECT_EQ(trim_and_shift_range(1000, 200000, run), std::pair(1000u, 1000u));
  EXPECT_EQ(trim_and_shift_range(999, 199999, run), std::pair(999u, 999u));
  std::vector<uint32_t> ends = {0, UINT32_MAX - 1, UINT32_MAX};
  EXPECT_EQ(trim_and_shift_range(0, UINT32_MAX, ends), std::pair(0u, UINT32_MAX - 3));
  EXPECT_EQ(trim_and_shift_range(UINT32_MAX - 1, UINT32_MAX, ends), std::nullopt);
  EXPECT_EQ(trim_and_shift_range(0, 0, ends), std::nullopt);
  EXPECT_EQ(trim_and_shift_range(5, 9, {}), std::pair(5u, 9u));
}

}  // namespace
}  // namespace tabrix::refs
