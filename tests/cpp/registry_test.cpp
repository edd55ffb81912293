#include "core/registry.h"

#include <gtest/gtest.h>

namespace tabrix {
namespace {

TEST(RegistryTest, StartsEmpty) {
  Registry r;
  EXPECT_TRUE(r.types().empty());
  EXPECT_TRUE(r.functions().empty());
}

}  // namespace
}  // namespace tabrix
