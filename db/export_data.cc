// Inserts go through DbCmd, lookups through SqlSelect into the shared
// recordset, and field updates assign the found row's field and write it at
// once.  The statement texts are those of sql_text.h.
//
// The inserters and GetTitleID report nothing themselves: DbCmd and SqlSelect
// report their own failures, and any other error goes to the caller.  The
// field writers report every error in a box under their own title.  On that
// path they first drop the edit they may have left pending (a refused
// Update), so that it can neither block the next lookup nor be written later
// into this row by someone else's Update.
#include "db/export_data.h"

#include "base/error.h"
#include "base/text.h"
#include "db/clean_text.h"
#include "db/sql_text.h"

namespace addbook {

ExportData::ExportData(Database& db, Display& display) : db_(db), display_(display) {}

void ExportData::AddBook(int16_t BookNo, std::u16string_view Name) {
  db_.DbCmd(sql::BookInsert(BookNo, Name));
}

void ExportData::AddTitle(int16_t BookNo, int16_t Vol, int16_t Ktb, int16_t Bab, int16_t SubBab,
                          std::u16string_view Title) {
  db_.DbCmd(sql::TitleInsert(BookNo, Vol, Ktb, Bab, SubBab, Title));
}

int32_t ExportData::GetTitleID(int16_t BookNo, int16_t Vol, int16_t Ktb, int16_t Bab,
                               int16_t SubBab) {
  db_.SqlSelect(db_.Rs, sql::TitleKeyLookup(BookNo, Vol, Ktb, Bab, SubBab));
  const int32_t found = db_.Rs.RecordCount();
  if (found == 1) return db_.Rs.Fields(u"TitleID").Value().ToInt32();
  // What follows is stored under no heading; say so, once per lookup.
  display_.AddListLine(u"GetTitleID:" + Decimal(found) + u" headings found for BookNo " +
                       Decimal(BookNo) + u", Vol " + Decimal(Vol) + u", KTB " + Decimal(Ktb) +
                       u", BAB " + Decimal(Bab) + u", SubBAB " + Decimal(SubBab) +
                       u" where one was needed; TitleID -1 used");
  display_.DoEvents();
  return -1;
}

void ExportData::AddAuthor(int16_t BookNo, std::u16string_view Author) {
  UpdateField(sql::BookLookup(BookNo), u"Author", Edit::kReplace, Author, u"Error Finding Book",
              u"Add Author");
}

void ExportData::AddDetails(int16_t BookNo, std::u16string_view Details) {
  UpdateField(sql::BookLookup(BookNo), u"Details", Edit::kReplace, Details, u"Error Finding Book",
              u"Add Detail");
}

void ExportData::AddDescription(int32_t TitleID, std::u16string_view Text) {
  // Reports under the author writer's box title; callers rely on that title.
  UpdateField(sql::TitleLookupById(TitleID), u"Description", Edit::kAppend, Text,
              u"Error Finding Title", u"Add Author");
}

void ExportData::AddHadeeth(int16_t BookNo, int32_t TitleID, int32_t HadeethID, int32_t HadeethNo,
                            std::u16string_view Text) {
  db_.DbCmd(sql::HadeethInsert(BookNo, TitleID, HadeethID, HadeethNo, Text));
}

void ExportData::AddMatn(int32_t TitleID, int32_t HadeethID, std::u16string_view Text) {
  UpdateField(sql::HadeethLookup(TitleID, HadeethID), u"Hadeeth", Edit::kAppend, Text,
              u"Error Finding Hadeeth", u"Add Matn");
}

void ExportData::UpdateField(std::u16string_view lookup, std::u16string_view field, Edit edit,
                             std::u16string_view text, std::u16string_view not_found,
                             std::u16string_view title) {
  Recordset& rs = db_.Rs;
  try {
    db_.SqlSelect(rs, lookup);
    if (rs.RecordCount() != 1) {
      display_.MsgBox(not_found, BoxStyle::kPlain, u"");
      return;
    }
    // The apostrophes around the text are stored with it: the value goes
    // into the field as it is, not through an SQL literal.
    std::u16string value;
    if (edit == Edit::kAppend) value = rs.Fields(field).Value().ToText();
    value += u"'";
    value += CleanText(text);
    if (edit == Edit::kAppend) value += kCrLf;
    value += u"'";
    rs.Collect(field, Variant(std::move(value)));
    if (std::optional<Error> warning = rs.Update()) {
      display_.MsgBox(
          Decimal(warning->number()) + u" : Stored with a warning: " + warning->description(),
          BoxStyle::kPlain, title);
    }
  } catch (const Error& e) {
    Database::SafeCancel(rs);
    display_.MsgBox(Decimal(e.number()) + u" : " + e.description(), BoxStyle::kPlain, title);
  }
}

}  // namespace addbook
