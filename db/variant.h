// One column value as the recordset holds it: Null, a whole number, a real
// number, text or bytes, read back as text or as a number of a fixed width.
#ifndef ADDBOOK_DB_VARIANT_H_
#define ADDBOOK_DB_VARIANT_H_

#include <cstdint>
#include <string>
#include <variant>

namespace addbook {

class Variant {
 public:
  enum class Type { kNull, kInteger, kReal, kText, kBytes };

  // Null.
  Variant() = default;
  explicit Variant(int64_t value) : value_(value) {}
  explicit Variant(double value) : value_(value) {}
  explicit Variant(std::u16string value) : value_(std::move(value)) {}
  // Bytes, kept apart from text so that they are never decoded.
  static Variant Bytes(std::string bytes);

  Type type() const { return static_cast<Type>(value_.index()); }
  bool is_null() const { return type() == Type::kNull; }

  // The value as text: Null gives empty text, numbers their plain decimal
  // form.  Throws errors::TypeMismatch for bytes.
  std::u16string ToText() const;

  // The value as a 32-bit signed number.  Reals are rounded to the nearest
  // whole number, halves to even; text must hold a decimal number.  Throws
  // errors::Overflow when the value does not fit, errors::InvalidUseOfNull
  // for Null and errors::TypeMismatch for other text and for bytes.
  int32_t ToInt32() const;

  // Same as ToInt32 for the 64-bit range.
  int64_t ToInt64() const;

  // The integer, real, text or bytes held; only valid for that type.
  int64_t integer() const { return std::get<int64_t>(value_); }
  double real() const { return std::get<double>(value_); }
  const std::u16string& text() const { return std::get<std::u16string>(value_); }
  const std::string& bytes() const { return std::get<Blob>(value_).bytes; }

  bool operator==(const Variant& other) const = default;

 private:
  struct Blob {
    std::string bytes;
    bool operator==(const Blob&) const = default;
  };
  // Alternatives in the order of Type.
  std::variant<std::monostate, int64_t, double, std::u16string, Blob> value_;
};

}  // namespace addbook

#endif  // ADDBOOK_DB_VARIANT_H_
