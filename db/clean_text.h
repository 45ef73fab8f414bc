// Text cleaning applied to every text the installer stores.
#ifndef ADDBOOK_DB_CLEAN_TEXT_H_
#define ADDBOOK_DB_CLEAN_TEXT_H_

#include <string>
#include <string_view>

namespace addbook {

// Returns |text| without the eight Arabic short-vowel marks (U+064B..U+0652),
// with the alef forms U+0623, U+0625 and U+0622 folded to plain alef U+0627,
// and with every apostrophe U+0027 written twice, so that the result can
// stand between apostrophes in SQL text.  Every other code unit, surrogates
// included, passes unchanged.  Never fails.
std::u16string CleanText(std::u16string_view text);

}  // namespace addbook

#endif  // ADDBOOK_DB_CLEAN_TEXT_H_
