#include "db/jet/row_encode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

#include "base/error.h"
#include "db/jet/format.h"
#include "db/jet/refusals.h"
#include "db/jet/row.h"

namespace addbook::jet {
namespace {

// Characters stored in one byte in compressed text.
bool OneByte(char16_t c) { return c >= 0x0001 && c <= 0x00FF; }

void Append16(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

std::string Utf16Le(std::u16string_view text) {
  std::string out(2 * text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

// The compressed form's length, or 0 when the text has a character that it
// cannot hold.
size_t CompressedSize(std::u16string_view text) {
  size_t size = 2;
  bool one_byte = true;
  for (char16_t c : text) {
    const bool one = OneByte(c);
    if (!one && ((c & 0xFF) == 0 || (c >> 8) == 0)) return 0;
    if (one != one_byte) {
      ++size;
      one_byte = one;
    }
    size += one ? 1 : 2;
  }
  return size;
}

std::string Compress(std::u16string_view text, size_t size) {
  std::string out = "\xFF\xFE";
  out.reserve(size);
  bool one_byte = true;
  for (char16_t c : text) {
    const bool one = OneByte(c);
    if (one != one_byte) {
      out.push_back('\0');
      one_byte = one;
    }
    if (one) {
      out.push_back(static_cast<char>(c));
    } else {
      Append16(out, c);
    }
  }
  return out;
}

// The value as a real number: numbers as they are, text that holds a
// decimal number.
double ToReal(const Variant& value) {
  switch (value.type()) {
    case Variant::Type::kInteger:
      return static_cast<double>(value.integer());
    case Variant::Type::kReal:
      return value.real();
    case Variant::Type::kText: {
      std::string ascii;
      for (char16_t c : value.text()) {
        if (c > 0x7F) throw addbook::errors::TypeMismatch();
        if (c != u' ') ascii.push_back(static_cast<char>(c));
      }
      double real = 0;
      const char* begin = ascii.data();
      if (!ascii.empty() && ascii[0] == '+') ++begin;
      const auto [end, ec] = std::from_chars(begin, ascii.data() + ascii.size(), real);
      if (ec != std::errc() || end != ascii.data() + ascii.size() || begin == end) {
        throw addbook::errors::TypeMismatch();
      }
      return real;
    }
    default:
      throw addbook::errors::TypeMismatch();
  }
}

int64_t WholeInRange(const Variant& value, int64_t low, int64_t high) {
  const int64_t whole = value.ToInt64();
  if (whole < low || whole > high) throw refusals::NumericOverflow();
  return whole;
}

std::string LittleEndian(uint64_t value, size_t size) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>(value >> (8 * i));
  return out;
}

template <typename T>
std::string RawBytes(T value) {
  std::string out(sizeof value, '\0');
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}

// A GUID's text ("{8-4-4-4-12}", the braces optional) as stored: the first
// three groups little-endian, the rest in order.
std::string GuidBytes(std::u16string_view text) {
  if (text.size() == 38 && text.front() == u'{' && text.back() == u'}') {
    text = text.substr(1, 36);
  }
  if (text.size() != 36) throw addbook::errors::TypeMismatch();
  uint8_t in_order[16];
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != u'-') throw addbook::errors::TypeMismatch();
      continue;
    }
    const char16_t c = text[i];
    const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                      : c >= u'a' && c <= u'f' ? c - u'a' + 10
                      : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                               : -1;
    if (digit < 0) throw addbook::errors::TypeMismatch();
    if (n % 2 == 0) in_order[n / 2] = 0;
    in_order[n / 2] = static_cast<uint8_t>(in_order[n / 2] << 4 | digit);
    ++n;
  }
  constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out(16, '\0');
  for (int i = 0; i < 16; ++i) out[i] = static_cast<char>(in_order[kOrder[i]]);
  return out;
}

// A Decimal of precision |precision| and scale |scale|: the sign byte, then
// the value times 10^scale as four 32-bit little-endian words, the most
// significant first.  Digits past the scale are rounded half away from zero.
std::string DecimalBytes(const Variant& value, uint8_t precision, uint8_t scale) {
  std::string text;
  if (value.type() == Variant::Type::kText) {
    for (char16_t c : value.text()) {
      if (c > 0x7F) throw addbook::errors::TypeMismatch();
      if (c != u' ') text.push_back(static_cast<char>(c));
    }
  } else if (value.type() == Variant::Type::kInteger) {
    text = std::to_string(value.integer());
  } else if (value.type() == Variant::Type::kReal && std::isfinite(value.real())) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.real());
    text.assign(buffer, result.ptr);
  } else {
    throw addbook::errors::TypeMismatch();
  }
  // sign, digits with a point, exponent.
  size_t at = 0;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::string digits;
  int exponent = 0;
  bool point = false;
  for (; at < text.size() && text[at] != 'e' && text[at] != 'E'; ++at) {
    if (text[at] == '.' && !point) {
      point = true;
    } else if (text[at] >= '0' && text[at] <= '9') {
      digits.push_back(text[at]);
      if (point) --exponent;
    } else {
      throw addbook::errors::TypeMismatch();
    }
  }
  if (digits.empty()) throw addbook::errors::TypeMismatch();
  if (at < text.size()) {
    int power = 0;
    const auto [end, ec] = std::from_chars(text.data() + at + 1 + (text[at + 1] == '+'),
                                           text.data() + text.size(), power);
    if (ec != std::errc() || end != text.data() + text.size()) {
      throw addbook::errors::TypeMismatch();
    }
    exponent += power;
  }
  exponent += scale;
  if (exponent > 0) {
    digits.append(static_cast<size_t>(std::min(exponent, 64)), '0');
  } else if (exponent < 0) {
    const size_t drop = std::min(static_cast<size_t>(-exponent), digits.size());
    const bool up = drop > 0 && digits[digits.size() - drop] >= '5';
    digits.resize(digits.size() - drop);
    for (size_t i = digits.size(); up; --i) {
      if (i == 0) {
        digits.insert(digits.begin(), '1');
        break;
      }
      if (digits[i - 1] == '9') {
        digits[i - 1] = '0';
      } else {
        ++digits[i - 1];
        break;
      }
    }
  }
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.size() > precision) throw refusals::NumericOverflow();
  uint32_t words[4] = {};  // most significant first
  for (char d : digits) {
    uint64_t carry = static_cast<uint64_t>(d - '0');
    for (int i = 3; i >= 0; --i) {
      const uint64_t product = static_cast<uint64_t>(words[i]) * 10 + carry;
      words[i] = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) throw refusals::NumericOverflow();
  }
  std::string out(1, static_cast<char>(negative && !digits.empty() ? 0x80 : 0x00));
  for (uint32_t word : words) out += LittleEndian(word, 4);
  return out;
}

std::string FixedBytes(const Column& column, const Variant& value) {
  switch (column.type) {
    case ColumnType::kByte:
      return LittleEndian(static_cast<uint64_t>(WholeInRange(value, 0, 255)), 1);
    case ColumnType::kInteger:
      return LittleEndian(static_cast<uint64_t>(WholeInRange(value, INT16_MIN, INT16_MAX)), 2);
    case ColumnType::kLong:
      return LittleEndian(static_cast<uint64_t>(WholeInRange(value, INT32_MIN, INT32_MAX)), 4);
    case ColumnType::kCurrency: {
      constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10000;
      if (value.type() == Variant::Type::kInteger) {
        if (value.integer() > kLimit || value.integer() < -kLimit) {
          throw refusals::NumericOverflow();
        }
        return LittleEndian(static_cast<uint64_t>(value.integer() * 10000), 8);
      }
      const double scaled = ToReal(value) * 10000;
      if (!(std::fabs(scaled) < 9.2e18)) throw refusals::NumericOverflow();
      return LittleEndian(static_cast<uint64_t>(std::llround(scaled)), 8);
    }
    case ColumnType::kSingle: {
      const double real = ToReal(value);
      if (std::isfinite(real) && std::fabs(real) > std::numeric_limits<float>::max()) {
        throw refusals::NumericOverflow();
      }
      return RawBytes(static_cast<float>(real));
    }
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return RawBytes(ToReal(value));
    case ColumnType::kReplicationId:
      if (value.type() != Variant::Type::kText) throw addbook::errors::TypeMismatch();
      return GuidBytes(value.text());
    case ColumnType::kDecimal:
      return DecimalBytes(value, column.precision, column.scale);
    default:
      throw addbook::errors::TypeMismatch();
  }
}

std::span<const uint8_t> AsBytes(const std::string& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string EncodeText(std::u16string_view text, bool compress) {
  if (compress && text.size() <= kMaxCompressedChars) {
    const size_t compressed = CompressedSize(text);
    if (compressed != 0 && compressed < 2 * text.size()) return Compress(text, compressed);
  }
  return Utf16Le(text);
}

ColumnValue ConvertValue(const Column& column, const Variant& value, const FileHeader& format) {
  if (value.is_null()) return {};
  switch (column.type) {
    case ColumnType::kBoolean: {
      const bool yes =
          value.type() == Variant::Type::kReal ? value.real() != 0 : value.ToInt64() != 0;
      return {Variant(int64_t{yes ? -1 : 0}), {}};
    }
    case ColumnType::kText:
    case ColumnType::kMemo: {
      if (value.type() == Variant::Type::kBytes) throw addbook::errors::TypeMismatch();
      std::u16string text = value.ToText();
      if (!format.jet3()) {
        std::string bytes = EncodeText(text, column.compressed_unicode());
        return {Variant(std::move(text)), std::move(bytes)};
      }
      std::string bytes;
      if (EncodeCodePageText(text, bytes)) throw refusals::DataTypeConversion();
      return {Variant(std::move(text)), std::move(bytes)};
    }
    case ColumnType::kBinary:
    case ColumnType::kOle:
      if (value.type() != Variant::Type::kBytes) throw addbook::errors::TypeMismatch();
      return {value, value.bytes()};
    default: {
      std::string bytes = FixedBytes(column, value);
      return {DecodeFixed(column.type, AsBytes(bytes), column.scale), std::move(bytes)};
    }
  }
}

namespace {

// The Jet 3 trailer of a row whose variable columns' bytes end at
// |end_of_data|, appended to |row| (which holds those bytes, then zeros to
// make the row |min_size| long where it can): eod and the offsets, low
// bytes, the jump table, n and |mask|.
void AppendJet3Trailer(std::string& row, size_t end_of_data, const std::vector<uint16_t>& offsets,
                       const std::string& mask, size_t min_size) {
  const size_t variables = offsets.size();
  const size_t fixed_part = 1 + variables + 1 + mask.size();  // eod, offsets, n, mask
  // The jump table's length comes from the row's whole size, its own bytes
  // included: the least J with J == (size - 1) / 256.
  size_t jumps = 0;
  while ((row.size() + fixed_part + jumps - 1) / 256 > jumps) ++jumps;
  if (row.size() + fixed_part + jumps < min_size) {
    jumps = (min_size - 1) / 256;
    row.append(min_size - row.size() - fixed_part - jumps, '\0');
  }
  // Entries 0 .. n-1 are the offsets, entry n eod.
  const auto entry = [&](size_t i) { return i < variables ? offsets[i] : end_of_data; };
  row.push_back(static_cast<char>(end_of_data & 0xFF));
  for (size_t slot = variables; slot > 0; --slot) {
    row.push_back(static_cast<char>(offsets[slot - 1] & 0xFF));
  }
  for (size_t k = jumps; k > 0; --k) {
    // The first entry of segment k (offsets of 256 * k or more), else the
    // dummy 0xFF.
    size_t first = 0;
    while (first <= variables && entry(first) < 256 * k) ++first;
    row.push_back(static_cast<char>(first <= variables ? first : 0xFF));
  }
  row.push_back(static_cast<char>(variables));
  row += mask;
}

}  // namespace

std::string EncodeRow(const TableDef& def, const FileHeader& format,
                      const std::vector<Field>& fields, size_t min_size) {
  const bool jet3 = format.jet3();
  const size_t count_size = jet3 ? 1 : 2;
  size_t columns = def.max_columns;
  size_t fixed_end = 0;
  size_t variables = def.variable_columns;
  for (const Column& column : def.columns) {
    columns = std::max<size_t>(columns, column.number + 1u);
    if (column.fixed()) {
      fixed_end = std::max<size_t>(fixed_end, column.fixed_offset + column.length);
    } else {
      variables = std::max<size_t>(variables, column.var_index + 1u);
    }
  }
  const size_t mask_size = (columns + 7) / 8;
  std::string mask(mask_size, '\0');
  std::string row(count_size + fixed_end, '\0');
  row[0] = static_cast<char>(columns & 0xFF);
  if (!jet3) row[1] = static_cast<char>(columns >> 8);

  // Variable columns by their place in the offset table.
  std::vector<size_t> by_var_index;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const Column& column = def.columns[i];
    if (fields[i].present) mask[column.number / 8] |= static_cast<char>(1 << column.number % 8);
    if (column.fixed()) {
      if (fields[i].present && column.type != ColumnType::kBoolean) {
        const std::string& bytes = fields[i].bytes;
        std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), column.length),
                    row.begin() + count_size + column.fixed_offset);
      }
    } else {
      by_var_index.push_back(i);
    }
  }
  if (variables == 0) {
    const size_t size = row.size() + mask_size;
    if (size < min_size) row.append(min_size - size, '\0');
    return row + mask;
  }
  std::sort(by_var_index.begin(), by_var_index.end(), [&def](size_t a, size_t b) {
    return def.columns[a].var_index < def.columns[b].var_index;
  });
  // A slot of the offset table that no column has (a deleted column) holds
  // an empty value where the next column starts.
  std::vector<uint16_t> offsets(variables);
  size_t next_slot = 0;
  for (size_t i : by_var_index) {
    while (next_slot <= def.columns[i].var_index) {
      offsets[next_slot++] = static_cast<uint16_t>(row.size());
    }
    if (fields[i].present) row += fields[i].bytes;
  }
  while (next_slot < variables) offsets[next_slot++] = static_cast<uint16_t>(row.size());
  const size_t end_of_data = row.size();
  if (jet3) {
    AppendJet3Trailer(row, end_of_data, offsets, mask, min_size);
    return row;
  }
  const size_t trailer = 2 + 2 * variables + 2 + mask_size;
  if (row.size() + trailer < min_size) row.append(min_size - row.size() - trailer, '\0');
  Append16(row, static_cast<uint16_t>(end_of_data));
  for (size_t slot = variables; slot > 0; --slot) Append16(row, offsets[slot - 1]);
  Append16(row, static_cast<uint16_t>(variables));
  return row + mask;
}

}  // namespace addbook::jet
