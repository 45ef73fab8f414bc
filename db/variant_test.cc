#include "db/variant.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/error.h"

namespace addbook {
namespace {

using namespace std::string_literals;

TEST(VariantTest, Reads) {
  EXPECT_EQ(Variant(int64_t{-2147483648LL}).ToInt32(), -2147483647 - 1);
  EXPECT_EQ(Variant(2.5).ToInt32(), 2);  // halves to even
  EXPECT_EQ(Variant(u" 17 "s).ToInt32(), 17);
  // clang-format off
  const std::pair<Variant, int32_t> failures[] = {
      {Variant(int64_t{2147483648}), errors::kOverflow}, {Variant(u"17a"s), errors::kTypeMismatch},
      {Variant(int64_t{-2147483649}), errors::kOverflow}, {Variant(), errors::kInvalidUseOfNull}};
  // clang-format on
  for (const auto& row : failures) {
    SCOPED_TRACE(testing::PrintToString(row.first.ToText()));
    EXPECT_THAT([&] { row.first.ToInt32(); },
                testing::Throws<Error>(testing::Property(&Error::number, row.second)));
  }
}

}  // namespace
}  // namespace addbook
