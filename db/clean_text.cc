// One left-to-right pass that maps every character by the cleaning table.
// No rule produces a character that another rule acts on, so this gives the
// same result as applying the removals, the alef folds and the apostrophe
// doubling one after another over the whole text.
#include "db/clean_text.h"

namespace addbook {

std::u16string CleanText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 16);
  for (char16_t c : text) {
    switch (c) {
      case u'\u064B':  // fathatan
      case u'\u064C':  // dammatan
      case u'\u064D':  // kasratan
      case u'\u064E':  // fatha
      case u'\u064F':  // damma
      case u'\u0650':  // kasra
      case u'\u0651':  // shadda
      case u'\u0652':  // sukun
        break;
      case u'\u0623':  // alef with hamza above
      case u'\u0625':  // alef with hamza below
      case u'\u0622':  // alef with madda above
        out.push_back(u'\u0627');
        break;
      case u'\'':
        out.append(u"''");
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace addbook
