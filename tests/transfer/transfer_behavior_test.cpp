#include "transfer/transfer_behavior.h"

#include <gtest/gtest.h>

namespace ombrix {
namespace {

TEST(TransferBehavior, DefaultSettingsCopiedInCompareEqualFieldByField) {
  const TransferSettings defaults;
  const TransferBehavior behavior(defaults);
  EXPECT_EQ(behavior.settings, defaults);
  const TransferBehavior copy = behavior;
  EXPECT_EQ(copy.settings, defaults);
}

}  // namespace
}  // namespace ombrix
