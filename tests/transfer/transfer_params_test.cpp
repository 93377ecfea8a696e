#include "transfer/transfer_params.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ombrix {
namespace {

TEST(NewTransferId, IsARandomVersion4UuidAs32LowercaseHexDigits) {
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    const std::string id = NewTransferId();
    ASSERT_EQ(id.size(), 32u) << id;
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
    EXPECT_EQ(id[12], '4') << id;                                      // version
    EXPECT_NE(std::string("89ab").find(id[16]), std::string::npos) << id;  // variant 10xx
    EXPECT_TRUE(seen.insert(id).second) << "drawn twice: " << id;
  }
}

}  // namespace
}  // namespace ombrix
