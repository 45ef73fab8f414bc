// The literal forms and the exact text of every SQL statement the writers
// send.  Values are spliced into the text: numbers in plain decimal, texts
// cleaned and between apostrophes.  No statement ends with a semicolon.
//
// The statements spell table and column names in differing case, as the host
// database has always been addressed; its engine matches names without regard
// to case.  Keep every piece byte for byte.
#ifndef ADDBOOK_DB_SQL_TEXT_H_
#define ADDBOOK_DB_SQL_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace addbook::sql {

// Number literal: 706 -> "706", -1 -> "-1".
std::u16string Number(int64_t value);

// Text literal: "'" + CleanText(value) + "'".
std::u16string Text(std::u16string_view value);

// "INSERT INTO BOOKS ([BookNo],[Name]) Values (706,'name') " — ends in one space.
std::u16string BookInsert(int16_t book_no, std::u16string_view name);

// "INSERT INTO Titles ([BookNo],[Vol],[KTB],[BAB],[SubBAB],[Title]) Values (...)".
std::u16string TitleInsert(int16_t book_no, int16_t vol, int16_t ktb, int16_t bab, int16_t sub_bab,
                           std::u16string_view title);

// "INSERT INTO Hadeeths (...) Values (..., 'text<CR LF>')": the CR LF stands
// inside the literal and becomes part of the stored value.
std::u16string HadeethInsert(int16_t book_no, int32_t title_id, int32_t hadeeth_id,
                             int32_t hadeeth_no, std::u16string_view text);

// "select * from titles where [bookNo]=.. AND [Vol]=.. AND [KTB]=.. AND [Bab]=.. AND [SubBab]=..".
std::u16string TitleKeyLookup(int16_t book_no, int16_t vol, int16_t ktb, int16_t bab,
                              int16_t sub_bab);

// "Select * from Hadeeths where [TitleID]=.. AND [HadeethID]=..".
std::u16string HadeethLookup(int32_t title_id, int32_t hadeeth_id);

// "Select * from Books where BookNo=..".
std::u16string BookLookup(int16_t book_no);

// "Select Count(*) AS Found from <table> where BookNo=..": how many rows of
// the book |table| holds, in the one column Found.
std::u16string BookRowCount(std::u16string_view table, int16_t book_no);

// "DELETE FROM <table> WHERE BookNo=..": removes every row of the book from
// |table|.  Sent only to take away rows that a failed import left behind.
std::u16string BookRowsDelete(std::u16string_view table, int16_t book_no);

// "Select * from titles where TitleID=..".
std::u16string TitleLookupById(int32_t title_id);

}  // namespace addbook::sql

#endif  // ADDBOOK_DB_SQL_TEXT_H_
