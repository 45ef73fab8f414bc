#include "db/variant.h"

#include <gtest/gtest.h>

#include <optional>

#include "base/error.h"
#include "base/text.h"

namespace addbook {
namespace {

struct NumberCase {
  const char* name;
  Variant value;
  std::optional<int32_t> expected;  // nullopt: an error
  int32_t error = 0;
};

TEST(VariantTest, ReadAsInt32) {
  const NumberCase cases[] = {
      {"integer", Variant(int64_t{40001}), 40001},
      {"smallest", Variant(int64_t{-2147483648LL}), -2147483647 - 1},
      {"past the top", Variant(int64_t{2147483648LL}), std::nullopt, errors::kOverflow},
      {"past the bottom", Variant(int64_t{-2147483649LL}), std::nullopt, errors::kOverflow},
      {"real, half to even", Variant(2.5), 2},
      {"decimal text", Variant(std::u16string(u" 17 ")), 17},
      {"text past the top", Variant(std::u16string(u"99999999999")), std::nullopt,
       errors::kOverflow},
      {"text that is no number", Variant(std::u16string(u"17a")), std::nullopt,
       errors::kTypeMismatch},
      {"Null", Variant(), std::nullopt, errors::kInvalidUseOfNull},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.expected) {
      EXPECT_EQ(c.value.ToInt32(), *c.expected);
      continue;
    }
    try {
      c.value.ToInt32();
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.error);
    }
  }
}

}  // namespace
}  // namespace addbook
