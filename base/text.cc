#include "base/text.h"

namespace addbook {

std::u16string Utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    bool ok = i + len <= in.size();
    for (size_t k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (cc & 0x3F);
      }
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

namespace {

// Appends the UTF-8 form of |cp| to |out|, which must have room for four
// more bytes; returns the new end.
char* PutUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point at in[i], a surrogate pair read whole (|i| then stands on
// its second half); an unpaired surrogate is U+FFFD.
char32_t CodePointAt(std::u16string_view in, size_t& i) {
  char32_t cp = in[i];
  if (IsHighSurrogate(cp) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) {
    ++i;
    return 0x10000 + ((cp - 0xD800) << 10) + (in[i] - 0xDC00);
  }
  return IsHighSurrogate(cp) || IsLowSurrogate(cp) ? 0xFFFD : cp;
}

template <typename Char>
bool EqualsFolded(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view in) {
  // Three bytes per UTF-16 unit is the most any text needs: a pair of
  // surrogates takes four bytes for two units.
  std::string out(in.size() * 3, '\0');
  char* end = out.data();
  for (size_t i = 0; i < in.size(); ++i) {
    end = PutUtf8(CodePointAt(in, i), end);
  }
  out.resize(static_cast<size_t>(end - out.data()));
  return out;
}

std::wstring Utf16ToWide(std::u16string_view in) {
  if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
    return std::wstring(in.begin(), in.end());
  } else {
    std::wstring out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
      out.push_back(static_cast<wchar_t>(CodePointAt(in, i)));
    }
    return out;
  }
}

std::u16string WideToUtf16(std::wstring_view in) {
  if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
    return std::u16string(in.begin(), in.end());
  } else {
    std::u16string out;
    out.reserve(in.size());
    for (wchar_t w : in) {
      char32_t cp = static_cast<char32_t>(w);
      if (cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp)) cp = 0xFFFD;
      if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      } else {
        out.push_back(static_cast<char16_t>(cp));
      }
    }
    return out;
  }
}

std::filesystem::path PathFromUtf16(std::u16string_view utf16) {
  std::string utf8 = Utf16ToUtf8(utf16);
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::u16string PathToUtf16(const std::filesystem::path& path) {
  return Utf8ToUtf16(PathToUtf8(path));
}

std::string PathToUtf8(const std::filesystem::path& path) {
  std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

std::u16string FoldAsciiCase(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = AsciiLower(c);
  return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) { return EqualsFolded(a, b); }

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return EqualsFolded(a, b);
}

std::u16string Decimal(int64_t value) {
  // Work on the magnitude as unsigned so that the most negative value works.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char16_t buf[24];
  size_t pos = sizeof(buf) / sizeof(buf[0]);
  do {
    buf[--pos] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) buf[--pos] = u'-';
  return std::u16string(buf + pos, buf + sizeof(buf) / sizeof(buf[0]));
}

}  // namespace addbook
