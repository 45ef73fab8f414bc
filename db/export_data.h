// The writers that put the book into the host's database: inserts of the
// book, heading and hadeeth rows, the heading key lookup, and updates of a
// field of a row found by its key.
#ifndef ADDBOOK_DB_EXPORT_DATA_H_
#define ADDBOOK_DB_EXPORT_DATA_H_

#include <cstdint>
#include <string_view>

#include "base/display.h"
#include "db/database.h"

namespace addbook {

class ExportData {
 public:
  // Both must outlive this object.
  ExportData(Database& db, Display& display);

  // Inserts the book row.  A failed insert is reported by DbCmd.
  void AddBook(int16_t BookNo, std::u16string_view Name);

  // Inserts a heading row; the database assigns its TitleID.  A failed
  // insert is reported by DbCmd.
  void AddTitle(int16_t BookNo, int16_t Vol, int16_t Ktb, int16_t Bab, int16_t SubBab,
                std::u16string_view Title);

  // The TitleID of the one heading with these keys, or -1 when none or
  // several match; a lookup that found none or several becomes a list line
  // naming the keys and the count.  Throws Error when the lookup left Rs
  // closed or TitleID cannot be read as a 32-bit number.
  int32_t GetTitleID(int16_t BookNo, int16_t Vol, int16_t Ktb, int16_t Bab, int16_t SubBab);

  // Sets Author of the one book row to the cleaned text between apostrophes.
  void AddAuthor(int16_t BookNo, std::u16string_view Author);

  // Sets Details of the one book row to the cleaned text between apostrophes.
  void AddDetails(int16_t BookNo, std::u16string_view Details);

  // Appends the cleaned text, followed by CR LF, between apostrophes to
  // Description of the heading |TitleID|.
  void AddDescription(int32_t TitleID, std::u16string_view Text);

  // Inserts a hadeeth row whose text is the cleaned sanad followed by CR LF.
  // A failed insert is reported by DbCmd.
  void AddHadeeth(int16_t BookNo, int32_t TitleID, int32_t HadeethID, int32_t HadeethNo,
                  std::u16string_view Text);

  // Appends the cleaned body text, followed by CR LF, between apostrophes to
  // the text of the one hadeeth row with these keys.
  void AddMatn(int32_t TitleID, int32_t HadeethID, std::u16string_view Text);

 private:
  enum class Edit { kReplace, kAppend };

  // The single-row field update the field writers share.  Finds the row
  // with |lookup|; when not exactly one row matches, shows |not_found| under
  // the default title and writes nothing.  Any Error is shown as
  // "<number> : <description>" under |title|, and so is the engine's warning
  // on a field it stored.
  void UpdateField(std::u16string_view lookup, std::u16string_view field, Edit edit,
                   std::u16string_view text, std::u16string_view not_found,
                   std::u16string_view title);

  Database& db_;
  Display& display_;
};

}  // namespace addbook

#endif  // ADDBOOK_DB_EXPORT_DATA_H_
