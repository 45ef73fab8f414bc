// The header page is checked before anything else is read: the engine writes
// only files whose every page it understands, so a file it cannot write is
// refused at once, with what was found and where such a file can be written.
#include "db/jet/format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "base/code_page.h"
#include "base/text.h"

namespace addbook::jet {
namespace {

constexpr size_t kMaskedStart = 0x18;
constexpr size_t kMaskedLength = 128;
constexpr size_t kMaskedLengthJet3 = 126;
constexpr size_t kSortOrderJet3 = 0x3A;
constexpr size_t kCodePage = 0x3C;
constexpr size_t kDatabaseKey = 0x3E;
constexpr size_t kPassword = 0x42;
constexpr size_t kPasswordLength = 40;
constexpr size_t kPasswordLengthJet3 = 20;
constexpr size_t kSortOrder = 0x6E;
constexpr size_t kSortVersion = 0x71;
constexpr size_t kCreationDate = 0x72;
// The key of the RC4 stream that masks the header: 0x6B39DAC7, little-endian.
constexpr std::array<uint8_t, 4> kMaskKey = {0xC7, 0xDA, 0x39, 0x6B};

// The first |kMaskedLength| bytes of the RC4 key stream of kMaskKey.
std::array<uint8_t, kMaskedLength> HeaderMask() {
  std::array<uint8_t, 256> s;
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    j = static_cast<uint8_t>(j + s[i] + kMaskKey[i % kMaskKey.size()]);
    std::swap(s[i], s[j]);
  }
  std::array<uint8_t, kMaskedLength> mask;
  uint8_t a = 0;
  uint8_t b = 0;
  for (uint8_t& m : mask) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    m = s[static_cast<uint8_t>(s[a] + s[b])];
  }
  return mask;
}

// Where a file this engine refuses can still be written.
constexpr std::string_view kElsewhere =
    "; the Windows build of this program writes such files through Microsoft's Access driver";

[[noreturn]] void Refuse(const std::filesystem::path& path, const std::string& what) {
  throw errors::DatabaseOpen(errors::kNotADatabase, PathToUtf8(path),
                             what + std::string(kElsewhere));
}

std::string Hex(uint32_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value);
  return "0x" + text;
}

}  // namespace

void ApplyHeaderMask(std::span<uint8_t> page0) {
  static const std::array<uint8_t, kMaskedLength> mask = HeaderMask();
  const size_t n = page0[0x14] == kVersionJet3 ? kMaskedLengthJet3 : kMaskedLength;
  for (size_t i = 0; i < n; ++i) page0[kMaskedStart + i] ^= mask[i];
}

FileHeader DecodeHeader(std::span<const uint8_t> page0, const std::filesystem::path& path) {
  constexpr std::string_view kJet = "Standard Jet DB";
  constexpr std::string_view kAce = "Standard ACE DB";
  const auto text_at = [&](size_t at, size_t n) {
    return std::string_view(reinterpret_cast<const char*>(page0.data()) + at, n);
  };
  if (page0.size() < kMaskedStart + kMaskedLength || Get32(page0.data()) != 0x100 ||
      (text_at(4, kJet.size()) != kJet && text_at(4, kAce.size()) != kAce)) {
    throw errors::DatabaseOpen(errors::kNotADatabase, PathToUtf8(path),
                               "it is not an Access database (no Jet or ACE signature at its "
                               "start)");
  }
  FileHeader header;
  header.version = page0[0x14];
  switch (header.version) {
    case kVersionJet3:
      header.page_size = kPageSizeJet3;
      break;
    case kVersionJet4:
    case kVersionAce12:
    case kVersionAce14:
    case kVersionAce16:
      break;
    default:
      Refuse(path, "its format version byte is " + std::to_string(header.version) +
                       ", a version of Access this program does not know");
  }
  std::array<uint8_t, kMaskedStart + kMaskedLength> head;
  std::copy_n(page0.begin(), head.size(), head.begin());
  ApplyHeaderMask(head);
  header.code_page = Get16(&head[kCodePage]);
  if (header.jet3()) {
    header.sort_order = Get16(&head[kSortOrderJet3]);
  } else {
    header.sort_order = Get16(&head[kSortOrder]);
    header.sort_version = head[kSortVersion];
  }

  if (const uint32_t key = Get32(&head[kDatabaseKey]); key != 0) {
    Refuse(path, "it is encrypted (database key " + Hex(key) + ")");
  }
  if (header.jet3()) {
    for (size_t i = 0; i < kPasswordLengthJet3; ++i) {
      if (head[kPassword + i] != 0) Refuse(path, "it is protected by a database password");
    }
    // Jet 3 stores text one byte a character in the file's code page; this
    // engine writes the Arabic one, which holds every character of a book.
    if (header.code_page != 1256) {
      Refuse(path, "it is an Access 97 (Jet 3) database whose text is in code page " +
                       std::to_string(header.code_page) +
                       ", where this program writes Access 97 text in code page 1256 only");
    }
    return header;
  }
  // The password is masked once more with the whole days of the creation
  // date (a double), as 4 little-endian bytes repeated.
  double created;
  static_assert(sizeof created == 8);
  std::memcpy(&created, &head[kCreationDate], sizeof created);
  uint8_t date_mask[4] = {};
  if (created >= -2147483648.0 && created < 2147483648.0) {
    Put32(date_mask, static_cast<uint32_t>(static_cast<int32_t>(created)));
  }
  for (size_t i = 0; i < kPasswordLength; ++i) {
    if ((head[kPassword + i] ^ date_mask[i % 4]) != 0) {
      Refuse(path, "it is protected by a database password");
    }
  }
  return header;
}

std::u16string DecodeCodePageText(std::span<const uint8_t> bytes) {
  std::u16string text(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) text[i] = DecodeCp1256(bytes[i]);
  return text;
}

std::optional<size_t> EncodeCodePageText(std::u16string_view text, std::string& out) {
  const size_t start = out.size();
  out.reserve(start + text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const std::optional<unsigned char> b = EncodeCp1256(text[i]);
    if (!b) {
      out.resize(start);
      return i;
    }
    out.push_back(static_cast<char>(*b));
  }
  return std::nullopt;
}

Error Damaged(std::string_view what) {
  return Error(errors::kNotADatabase, "The Access file is damaged: " + std::string(what) + ".");
}

std::u16string DecodeText(std::span<const uint8_t> bytes) {
  std::u16string text;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    text.reserve(bytes.size());
    bool compressed = true;
    for (size_t i = 2; i < bytes.size();) {
      if (bytes[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        text.push_back(bytes[i++]);
      } else if (i + 1 < bytes.size()) {
        text.push_back(static_cast<char16_t>(Get16(&bytes[i])));
        i += 2;
      } else {
        break;
      }
    }
    return text;
  }
  text.resize(bytes.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(Get16(&bytes[2 * i]));
  return text;
}

}  // namespace addbook::jet
