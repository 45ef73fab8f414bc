#include "db/variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "base/error.h"
#include "base/text.h"

namespace addbook {
namespace {

// Whole numbers from reals: nearest, halves to even, as numbers are rounded
// when they are narrowed anywhere else in the program.
int64_t RoundReal(double value) {
  // 2^63 is exactly representable; every double below it converts safely.
  constexpr double kLimit = 9223372036854775808.0;
  if (!std::isfinite(value)) throw errors::Overflow();
  double rounded = std::nearbyint(value);
  if (rounded >= kLimit || rounded < -kLimit) throw errors::Overflow();
  return static_cast<int64_t>(rounded);
}

// Decimal text, with spaces around it allowed: a whole number, or a real
// number that is then rounded.
int64_t ParseNumber(const std::u16string& text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) throw errors::TypeMismatch();
    ascii.push_back(static_cast<char>(c));
  }
  size_t begin = ascii.find_first_not_of(' ');
  size_t end = ascii.find_last_not_of(' ');
  if (begin == std::string::npos) throw errors::TypeMismatch();
  const char* first = ascii.data() + begin;
  const char* last = ascii.data() + end + 1;
  if (*first == '+') ++first;

  int64_t whole = 0;
  auto [ptr, ec] = std::from_chars(first, last, whole);
  if (ec == std::errc() && ptr == last) return whole;
  if (ec == std::errc::result_out_of_range) throw errors::Overflow();

  double real = 0;
  auto [rptr, rec] = std::from_chars(first, last, real);
  if (rec == std::errc::result_out_of_range) throw errors::Overflow();
  if (rec != std::errc() || rptr != last) throw errors::TypeMismatch();
  return RoundReal(real);
}

}  // namespace

Variant Variant::Bytes(std::string bytes) {
  Variant v;
  v.value_ = Blob{std::move(bytes)};
  return v;
}

std::u16string Variant::ToText() const {
  switch (type()) {
    case Type::kNull:
      return {};
    case Type::kInteger:
      return Decimal(integer());
    case Type::kReal: {
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, real());
      return Utf8ToUtf16(std::string_view(buffer, result.ptr - buffer));
    }
    case Type::kText:
      return text();
    case Type::kBytes:
      break;
  }
  throw errors::TypeMismatch();
}

int64_t Variant::ToInt64() const {
  switch (type()) {
    case Type::kNull:
      throw errors::InvalidUseOfNull();
    case Type::kInteger:
      return integer();
    case Type::kReal:
      return RoundReal(real());
    case Type::kText:
      return ParseNumber(text());
    case Type::kBytes:
      break;
  }
  throw errors::TypeMismatch();
}

int32_t Variant::ToInt32() const {
  int64_t value = ToInt64();
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    throw errors::Overflow();
  }
  return static_cast<int32_t>(value);
}

}  // namespace addbook
