// Reporting follows one pattern: each procedure catches the Error of its own
// steps at its top, shows it in its fixed form and returns normally.
//
// A recordset whose close was refused because an edit of its current row was
// pending is still open on the earlier query when the new query fails to
// open.  SqlSelect then drops the edit and closes the recordset as well, so
// that no caller goes on to read or change a row of the earlier query
// believing it to be the row its own query found.
#include "db/database.h"

#include "base/error.h"
#include "base/text.h"

namespace addbook {

std::filesystem::path SlashedPath(std::u16string_view windows_path) {
  std::u16string path(windows_path);
  for (char16_t& c : path) {
    if (c == u'\\') c = u'/';
  }
  return PathFromUtf16(path);
}

Database::Database(Display& display, const std::u16string& sep) : display_(display), sep_(sep) {}

bool Database::OpenDb(int16_t& DbErrNo) {
  try {
    std::u16string connection_string =
        u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sep_ + u"\\Hadeeth.mdb";
    DbErrNo = 0;
    Conn.ConnectionString = connection_string;
    Conn.ConnectionTimeout = busy_timeout_;
    Conn.Open(resolver_, opener_);
    // The whole import is one transaction: a run that does not reach its
    // end leaves nothing of the book behind.
    Conn.BeginTrans();
    Rs.ActiveConnection = &Conn;
    Cmd.ActiveConnection = &Conn;
    return true;
  } catch (const Error& e) {
    Conn.Close();
    DbErrorBox(DbErrNo, e);
    return false;
  }
}

void Database::DbErrorBox(int16_t DbErrNo, const Error& error) {
  display_.MsgBox(Decimal(error.number()) + u" " + error.description(), BoxStyle::kCritical,
                  u"DB Error  ( " + Decimal(DbErrNo) + u" )");
}

void Database::SqlSelect(Recordset& rs, std::u16string_view sql) {
  try {
    if (rs.State() == kStateOpen) rs.Close();
  } catch (const Error&) {
    // A pending edit blocks the close; the open below then fails and reports.
  }
  try {
    rs.Open(sql);
  } catch (const Error& e) {
    display_.AddListLine(u"SQL Select:" + e.description());
    display_.DoEvents();
    SafeCancel(rs);
    try {
      if (rs.State() == kStateOpen) rs.Close();
    } catch (const Error&) {
      // The edit was just dropped, so the close cannot be refused; a failure
      // here leaves nothing a caller could misread.
    }
  }
}

void Database::DbCmd(std::u16string_view sql) {
  try {
    Cmd.CommandText.assign(sql);  // reuses the text's buffer from the last statement
    engine::Executed done = Cmd.Execute();
    rows_changed_ += done.rows;
    if (done.warning) {
      display_.AddListLine(u"dbCMD:Stored with a warning: " + done.warning->description());
      display_.DoEvents();
    }
  } catch (const Error& e) {
    display_.AddListLine(u"dbCMD:" + e.description());
    display_.DoEvents();
  }
}

void Database::SafeCancel(Recordset& rs) {
  try {
    rs.CancelUpdate();
  } catch (const Error&) {
    // Nothing to drop, or nothing open to drop it from: either way no edit is
    // left pending, which is all the caller needs.
  }
}

}  // namespace addbook
