#include "db/sql_text.h"

#include "base/text.h"
#include "db/clean_text.h"

namespace addbook::sql {

std::u16string Number(int64_t value) { return Decimal(value); }

std::u16string Text(std::u16string_view value) { return u"'" + CleanText(value) + u"'"; }

std::u16string BookInsert(int16_t book_no, std::u16string_view name) {
  return u"INSERT INTO BOOKS ([BookNo],[Name]) Values (" + Number(book_no) + u"," + Text(name) +
         u") ";
}

std::u16string TitleInsert(int16_t book_no, int16_t vol, int16_t ktb, int16_t bab, int16_t sub_bab,
                           std::u16string_view title) {
  return u"INSERT INTO Titles ([BookNo],[Vol],[KTB],[BAB],[SubBAB],[Title]) Values (" +
         Number(book_no) + u"," + Number(vol) + u"," + Number(ktb) + u"," + Number(bab) + u"," +
         Number(sub_bab) + u"," + Text(title) + u")";
}

std::u16string HadeethInsert(int16_t book_no, int32_t title_id, int32_t hadeeth_id,
                             int32_t hadeeth_no, std::u16string_view text) {
  std::u16string statement =
      u"INSERT INTO Hadeeths ([BookNo],[TitleID],[HadeethID],[HadeethNo],[Hadeeth]) Values (" +
      Number(book_no) + u"," + Number(title_id) + u"," + Number(hadeeth_id) + u"," +
      Number(hadeeth_no) + u",'";
  statement += CleanText(text);
  statement += u"\r\n')";
  return statement;
}

std::u16string TitleKeyLookup(int16_t book_no, int16_t vol, int16_t ktb, int16_t bab,
                              int16_t sub_bab) {
  return u"select * from titles where [bookNo]=" + Number(book_no) + u" AND [Vol]=" + Number(vol) +
         u" AND [KTB]=" + Number(ktb) + u" AND [Bab]=" + Number(bab) + u" AND [SubBab]=" +
         Number(sub_bab);
}

std::u16string HadeethLookup(int32_t title_id, int32_t hadeeth_id) {
  return u"Select * from Hadeeths where [TitleID]=" + Number(title_id) + u" AND [HadeethID]=" +
         Number(hadeeth_id);
}

std::u16string BookLookup(int16_t book_no) {
  return u"Select * from Books where BookNo=" + Number(book_no);
}

std::u16string BookRowCount(std::u16string_view table, int16_t book_no) {
  return u"Select Count(*) AS Found from " + std::u16string(table) + u" where BookNo=" +
         Number(book_no);
}

std::u16string BookRowsDelete(std::u16string_view table, int16_t book_no) {
  return u"DELETE FROM " + std::u16string(table) + u" WHERE BookNo=" + Number(book_no);
}

std::u16string TitleLookupById(int32_t title_id) {
  return u"Select * from titles where TitleID=" + Number(title_id);
}

}  // namespace addbook::sql
