#include "core/ordered_map.h"

#include <gtest/gtest.h>

namespace tabrix {
namespace {

std::string keys(const OrderedMap<int>& m) {
  std::string out;
  for (auto [k, v] : m) out += k + "=" + std::to_string(v) + " ";
  return out;
}

TEST(OrderedMap, KeepsInsertionOrder) {
  OrderedMap<int> m;
  m.set("b", 1);
  m.set("a", 2);
  m.set("c", 3);
  m.set("b", 4);  // replaced in place
  EXPECT_EQ(keys(m), "b=4 a=2 c=3 ");
  EXPECT_TRUE(m.erase("a"));
  EXPECT_FALSE(m.erase("a"));
  m.set("a", 5);  // a new key goes to the end
  EXPECT_EQ(keys(m), "b=4 c=3 a=5 ");
  EXPECT_EQ(*m.find("c"), 3);
  EXPECT_EQ(m.find("B"), nullptr);  // exact, case-sensitive
  EXPECT_EQ(m.size(), 3u);
}

TEST(OrderedMap, CompactionKeepsOrderAndLookups) {
  OrderedMap<int> m;
  for (int i = 0; i < 1000; ++i) m.set("k" + std::to_string(i), i);
  for (int i = 0; i < 1000; ++i)
    if (i % 10) m.erase("k" + std::to_string(i));
  ASSERT_EQ(m.size(), 100u);
  int expected = 0;
  for (auto [k, v] : m) {
    EXPECT_EQ(v, expected);
    EXPECT_EQ(*m.find(k), expected);
    expected += 10;
  }
}

}  // namespace
}  // namespace tabrix
