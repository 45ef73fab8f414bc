// gen_book: writes a synthetic book of hadeeth, in the source text format the
// installer reads, to standard output.
//
//   gen_book <hadeeths> [seed] > h1.txt
//
// The book is Windows-1256 text with CR LF line ends: the book, author and
// typing records (closed by "*END*"), then headings and hadeeths in the
// proportions of a real collection, then "*EOF*".  Per 1,000 hadeeths there
// are about 470 level-3 and 13 level-2 headings and 2 level-1 headings; every
// hadeeth is a sanad line (about 250 characters; "0<n>-..." or, one in ten,
// "@<n>-...") and one body line ("$...", about 400 characters); every 50th
// heading is followed by a comment line.  The words carry short vowels, shadda
// and tanween, and alef with hamza or madda, as real text does.  Only the
// Arabic comma is used, so that every line of the file is one line for the
// reader.  The same arguments always give the same bytes.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"

namespace {

constexpr char kUsage[] = "Usage: gen_book <hadeeths> [seed] > h1.txt\n";

// Heading and comment proportions, per million hadeeths.
constexpr uint64_t kLevel1PerMillion = 2'000;
constexpr uint64_t kLevel2PerMillion = 13'000;
constexpr uint64_t kLevel3PerMillion = 470'000;
constexpr int kHeadingsPerComment = 50;

// Line lengths in characters, drawn evenly from these ranges.
constexpr size_t kSanadMin = 120, kSanadMax = 348;
constexpr size_t kBodyMin = 204, kBodyMax = 594;

// SplitMix64: small, fast and the same on every platform, unlike the
// distributions of <random>.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  uint64_t Below(uint64_t n) { return Next() % n; }
  // Uniform in [lo, hi].
  size_t Between(size_t lo, size_t hi) { return lo + Below(hi - lo + 1); }
  bool PerMillion(uint64_t n) { return Below(1'000'000) < n; }

 private:
  uint64_t state_;
};

// Text is built as UTF-16 and encoded once per line.
class Encoder {
 public:
  Encoder() : table_(0x10000, 0) {
    for (int b = 1; b < 256; ++b) table_[addbook::DecodeCp1256(static_cast<unsigned char>(b))] = b;
  }
  // Appends |text| in Windows-1256 to |out|; every character must have a byte.
  void Append(std::u16string_view text, std::string& out) const {
    for (char16_t c : text) {
      unsigned char b = table_[c];
      if (b == 0) {
        std::fprintf(stderr, "gen_book: U+%04X has no Windows-1256 byte\n", unsigned(c));
        std::exit(3);
      }
      out.push_back(static_cast<char>(b));
    }
  }

 private:
  std::vector<unsigned char> table_;
};

// Words without their short vowels; alef forms are kept as they are spelt.
const std::u16string_view kNarrators[] = {
    u"محمد", u"أحمد",  u"إبراهيم", u"إسماعيل", u"عبد الله", u"عمر",       u"علي",  u"أنس",
    u"مالك", u"سفيان", u"شعبة",    u"قتادة",   u"الزهري",   u"نافع",      u"أيوب", u"إسحاق",
    u"يحيى", u"سعيد",  u"هشام",    u"عروة",    u"عائشة",    u"أبي هريرة", u"آدم",  u"حماد"};
const std::u16string_view kLinks[] = {u"بن", u"عن", u"قال", u"أخبرنا", u"حدثني", u"أن", u"سمعت"};
const std::u16string_view kWords[] = {
    u"قال",   u"رسول",  u"الله", u"صلى",     u"عليه",   u"وسلم",  u"إن",     u"إذا",   u"أمر",
    u"الناس", u"فقال",  u"كان",  u"يقول",    u"الصلاة", u"الصوم", u"الزكاة", u"آمن",   u"بالله",
    u"أعمال", u"النية", u"إلى",  u"من",      u"في",     u"على",   u"ما",     u"لا",    u"أو",
    u"الجنة", u"النار", u"يوم",  u"القيامة", u"المسجد", u"أهل",   u"العلم",  u"إيمان", u"أحد",
    u"الخير", u"قلب",   u"سأل",  u"أجاب",    u"آخر",    u"فإن",   u"حتى",    u"إلا",   u"عمل"};
const std::u16string_view kTopics[] = {u"الطهارة", u"الصلاة", u"الزكاة", u"الصيام",  u"الحج",
                                       u"البيوع",  u"الأدب",  u"العلم",  u"الإيمان", u"الآداب"};

constexpr char16_t kVowels[] = {u'\u064E', u'\u064F', u'\u0650', u'\u0652'};  // a u i sukun
constexpr char16_t kShadda = u'\u0651';
constexpr char16_t kTanween[] = {u'\u064B', u'\u064C', u'\u064D'};

bool IsArabicLetter(char16_t c) { return c >= u'\u0621' && c <= u'\u064A'; }

class BookWriter {
 public:
  BookWriter(uint64_t seed, std::FILE* out) : random_(seed), out_(out) {}

  void Write(uint64_t hadeeths) {
    Line(u"*BOOK*" + Phrase(kWords, 3, 6));
    Line(u"*AUTHOR*" + Name());
    Line(u"*TYPING*" + Phrase(kWords, 4, 8));
    Line(Phrase(kWords, 6, 12));
    Line(u"*END*");
    for (uint64_t n = 1; n <= hadeeths; ++n) {
      bool level1 = n == 1 || random_.PerMillion(kLevel1PerMillion);
      bool level2 = level1 || random_.PerMillion(kLevel2PerMillion);
      bool level3 = level2 || random_.PerMillion(kLevel3PerMillion);
      if (level1) Heading(u"*1*الجزء " + Phrase(kTopics, 1, 2));
      if (level2) Heading(u"*2*كتاب " + Phrase(kTopics, 1, 2));
      if (level3) Heading(u"*3*باب " + Phrase(kWords, 2, 7));
      Sanad(n);
      Line(Fill(u"$", kWords, random_.Between(kBodyMin, kBodyMax)));
    }
    Line(u"*EOF*");
    Flush();
  }

 private:
  void Heading(std::u16string line) {
    Line(line);
    if (++headings_ % kHeadingsPerComment == 0) {
      // Comments now and then quote an ASCII apostrophe, which the installer
      // doubles in its statements.
      std::u16string comment = u"@" + Phrase(kWords, 8, 20);
      if (headings_ % (kHeadingsPerComment * 4) == 0) comment += u" Abu 'Isa";
      Line(comment);
    }
  }

  void Sanad(uint64_t n) {
    std::u16string line = random_.Below(10) == 0 ? u"@" : u"0";
    for (char c : std::to_string(n)) line.push_back(static_cast<char16_t>(c));
    line += u"-حدثنا ";
    size_t length = random_.Between(kSanadMin, kSanadMax);
    while (line.size() < length) {
      line += Name();
      line += u"\u060C ";  // Arabic comma
      line += Word(kLinks[random_.Below(std::size(kLinks))]);
      line += u' ';
    }
    line += u"قال:";
    Line(line);
  }

  // |start| followed by words of |list| up to at least |length| characters.
  template <size_t N>
  std::u16string Fill(std::u16string start, const std::u16string_view (&list)[N], size_t length) {
    std::u16string line = std::move(start);
    while (line.size() < length) {
      if (line.size() > 1) line += random_.Below(12) == 0 ? u"\u060C " : u" ";
      line += Word(list[random_.Below(N)]);
    }
    return line;
  }

  template <size_t N>
  std::u16string Phrase(const std::u16string_view (&list)[N], size_t min_words, size_t max_words) {
    std::u16string text;
    size_t words = random_.Between(min_words, max_words);
    for (size_t i = 0; i < words; ++i) {
      if (i > 0) text += u' ';
      text += Word(list[random_.Below(N)]);
    }
    return text;
  }

  std::u16string Name() {
    std::u16string name = Word(kNarrators[random_.Below(std::size(kNarrators))]);
    name += u" بن ";
    name += Word(kNarrators[random_.Below(std::size(kNarrators))]);
    return name;
  }

  // |word| with short vowels on some letters, a shadda now and then, and
  // tanween on some word ends.
  std::u16string Word(std::u16string_view word) {
    std::u16string out;
    for (size_t i = 0; i < word.size(); ++i) {
      out.push_back(word[i]);
      if (!IsArabicLetter(word[i])) continue;
      uint64_t r = random_.Below(100);
      if (r < 4) {
        out.push_back(kShadda);
        out.push_back(kVowels[random_.Below(3)]);
      } else if (r < 40) {
        out.push_back(kVowels[random_.Below(std::size(kVowels))]);
      }
    }
    if (!out.empty() && IsArabicLetter(out.back()) && random_.Below(10) == 0) {
      out.push_back(kTanween[random_.Below(std::size(kTanween))]);
    }
    return out;
  }

  void Line(std::u16string_view text) {
    encoder_.Append(text, buffer_);
    buffer_ += "\r\n";
    if (buffer_.size() >= (1 << 16)) Flush();
  }

  void Flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) {
      std::perror("gen_book: write");
      std::exit(3);
    }
    buffer_.clear();
  }

  Random random_;
  Encoder encoder_;
  std::FILE* out_;
  std::string buffer_;
  int headings_ = 0;
};

// A whole decimal number, or false.
bool ParseCount(const char* text, uint64_t& value) {
  if (*text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  value = parsed;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t hadeeths = 0;
  uint64_t seed = 1;
  if (argc < 2 || argc > 3 || !ParseCount(argv[1], hadeeths) ||
      (argc == 3 && !ParseCount(argv[2], seed))) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // Counters past these would overflow the installer's 32-bit hadeeth
  // counter; such a book is not a measurement of anything.
  if (hadeeths > INT32_MAX) {
    std::fputs("gen_book: at most 2147483647 hadeeths\n", stderr);
    return 2;
  }
  BookWriter(seed, stdout).Write(hadeeths);
  if (std::fflush(stdout) != 0) {
    std::perror("gen_book: write");
    return 3;
  }
  return 0;
}
