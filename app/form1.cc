// The run, in order: the two start lines; the window shown and repainted;
// the host folder read from the settings ("NONE" refuses the run); the
// database opened and the import's one transaction begun, holding the
// database's write lock; the book looked up in every table, so that a second
// import never duplicates it; the source text opened and primed; the record
// loop to the end of the book; the commit.  Every other way out of the run
// (a refusal, a start-up error, the window closed, a fatal error) undoes the
// transaction, so the host holds either the whole book or nothing of it.
#include "app/form1.h"

#include <algorithm>
#include <cstdio>

#include "base/error.h"
#include "base/text.h"
#include "db/sql_text.h"

namespace addbook {
namespace {

// |text| ended by a full stop, so that another sentence can follow it.
std::u16string Sentence(const std::u16string& text) {
  return text.ends_with(u'.') ? text : text + u".";
}

}  // namespace

void RunDisplay::AddListLine(std::u16string_view line) {
  ++list_lines_;
  inner_.AddListLine(line);
}

void RunDisplay::ShowCaption(Control control, std::u16string_view text) {
  inner_.ShowCaption(control, text);
}

void RunDisplay::MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) {
  ++boxes_;
  inner_.MsgBox(prompt, style, title);
  // The window can be closed while a modal box is open.
  if (stopped_) throw RunStopped();
}

void RunDisplay::DoEvents() {
  inner_.DoEvents();
  if (stopped_) throw RunStopped();
}

Form1::Form1(Display& display, Platform platform)
    : display_(display, closed_),
      platform_(std::move(platform)),
      captions_(display_),
      db_(display_, Sep),
      writers_(db_, display_),
      reader_(*this, files_, display_),
      dispatcher_(*this, *this, reader_, writers_, captions_, display_) {
  if (platform_.resolve_path) db_.set_path_resolver(platform_.resolve_path);
  if (platform_.open_database) db_.set_session_opener(platform_.open_database);
  db_.set_busy_timeout_ms(platform_.busy_timeout_ms);
  display_.SetEvents(this);
}

Form1::~Form1() { display_.SetEvents(nullptr); }

void Form1::Closing() {
  int16_t cancel = 0;
  Form_Unload(cancel);
}

void Form1::Clicked(Control button) {
  switch (button) {
    case Control::kFirst:
      First_Click();
      break;
    case Control::kCommand1:
      Command1_Click();
      break;
    case Control::kCommand2:
      Command2_Click();
      break;
    default:
      break;
  }
}

void Form1::Form_Load() {
  try {
    try {
      display_.AddListLine(kStartLine1);
      display_.AddListLine(kStartLine2);
      display_.ShowWindow();
      display_.DoEvents();
      display_.Repaint();
      display_.DoEvents();
      Sep = platform_.read_host_folder ? platform_.read_host_folder() : u"NONE";
      if (Sep == u"NONE") {
        outcome_ = RunOutcome::kNoHostFolder;
        display_.MsgBox(u"Upgrade Varnel Program, and try again", BoxStyle::kPlain, {});
        return;
      }
      StartImport();
    } catch (const Error& e) {
      outcome_ = RunOutcome::kStartupError;
      display_.MsgBox(Decimal(e.number()) + u": " + e.description(), BoxStyle::kPlain, {});
    } catch (const FatalError& e) {
      switch (e.kind()) {
        case FatalError::Kind::kSourceUnreadable:
          outcome_ = RunOutcome::kSourceUnreadable;
          break;
        case FatalError::Kind::kImportUndone:
          outcome_ = RunOutcome::kImportUndone;
          break;
        case FatalError::Kind::kWritesRefused:
          outcome_ = RunOutcome::kWritesRefused;
          break;
      }
      stop_error_ = e.error();
    }
  } catch (const RunStopped&) {
    outcome_ = RunOutcome::kClosed;
  }
  UndoImport();
  // The error that ended the import is shown with what the database holds
  // of the book now; any other way out says so only when something is left.
  try {
    if (stop_error_) {
      const Error shown(stop_error_->number(),
                        Sentence(stop_error_->description()) + u" " + WhatIsLeft());
      if (outcome_ == RunOutcome::kWritesRefused) {
        db_.DbErrorBox(0, shown);
      } else {
        display_.MsgBox(Decimal(shown.number()) + u": " + shown.description(), BoxStyle::kPlain,
                        {});
      }
    } else if (rows_left_ != 0) {
      display_.MsgBox(WhatIsLeft(), BoxStyle::kPlain, {});
    }
  } catch (const RunStopped&) {
    // Closed while the box was open: the run is over anyway.
  }
  db_.Conn.Close();
}

void Form1::StartImport() {
  FileNo = -1;
  int16_t DbErrNo = 0;
  if (!db_.OpenDb(DbErrNo)) {
    outcome_ = RunOutcome::kDbFailed;
    return;
  }
  if (BookAlreadyInstalled()) {
    outcome_ = RunOutcome::kAlreadyInstalled;
    display_.MsgBox(u"This Book is Already Installed", BoxStyle::kPlain, {});
    return;
  }
  import_begun_ = true;
  display_.DoEvents();
  First_Click();
  Command1_Click();
  CommitImport();
}

bool Form1::BookAlreadyInstalled() {
  proven_empty_.clear();
  for (std::u16string_view table : {u"Books", u"Titles", u"Hadeeths"}) {
    db_.SqlSelect(db_.Rs, sql::BookRowCount(table, kBookNo));
    try {
      if (db_.Rs.State() == kStateOpen && db_.Rs.RecordCount() == 1) {
        const int32_t found = db_.Rs.Fields(u"Found").Value().ToInt32();
        if (found > 0) return true;
        if (found == 0) proven_empty_.push_back(table);
      }
    } catch (const Error&) {
      // The lookup failed, and SqlSelect has reported it: it found nothing.
    }
  }
  return false;
}

void Form1::CommitImport() {
  try {
    std::optional<Error> warning = db_.Conn.CommitTrans();
    committed_ = true;
    if (warning) {
      display_.MsgBox(Decimal(warning->number()) +
                          u": The book was saved, and the database warned: " +
                          warning->description(),
                      BoxStyle::kPlain, {});
    }
  } catch (const Error& e) {
    outcome_ = RunOutcome::kNotSaved;
    stop_error_ = Error(e.number(), u"The book could not be saved: " + e.description());
  }
}

void Form1::UndoImport() {
  if (!import_begun_ || committed_ || db_.Conn.State() != kStateOpen) return;
  engine::Session& session = db_.Conn.session();
  // Counts the book's rows in the tables proved empty before the import.
  auto count = [&] {
    int64_t rows = 0;
    for (std::u16string_view table : proven_empty_) {
      const std::u16string sql = sql::BookRowCount(table, kBookNo);
      db_.Conn.Observe(sql);
      engine::QueryResult found = session.Query(sql);
      if (found.rows.size() != 1 || found.rows[0].empty()) {
        throw Error(errors::kNoCurrentRecord,
                    u"The count of " + std::u16string(table) + u" returned no row");
      }
      rows += found.rows[0][0].ToInt64();
    }
    return rows;
  };
  // Runs |step|; on failure keeps why (the first failure only) and returns
  // false.
  auto attempt = [&](auto&& step) {
    try {
      step();
      return true;
    } catch (const Error& e) {
      if (left_error_.empty()) left_error_ = e.description();
    } catch (const FatalError& e) {
      if (left_error_.empty()) left_error_ = e.error().description();
    }
    return false;
  };
  attempt([&] { db_.Conn.RollbackTrans(); });
  left_error_.clear();  // a failed undo matters only by what it left, counted next
  if (!attempt([&] { rows_left_ = count(); })) {
    rows_left_ = -1;
    return;
  }
  if (rows_left_ == 0) return;
  const bool removed = attempt([&] {
    db_.Conn.BeginTrans();
    for (std::u16string_view table : proven_empty_) {
      const std::u16string sql = sql::BookRowsDelete(table, kBookNo);
      db_.Conn.Observe(sql);
      session.Execute(sql);
    }
    db_.Conn.CommitTrans();
  });
  if (!removed) attempt([&] { db_.Conn.RollbackTrans(); });
  if (!attempt([&] { rows_left_ = count(); })) rows_left_ = -1;
}

std::u16string Form1::WhatIsLeft() const {
  if (rows_left_ == 0) return u"Nothing of the book was stored.";
  if (rows_left_ < 0) {
    return u"Whether anything of the book is left in the database could not be checked: " +
           left_error_ + u".";
  }
  return Decimal(rows_left_) +
         u" rows of the book are still in the database and could not be removed" +
         (left_error_.empty() ? u"" : u" (" + left_error_ + u")") +
         u"; the installer will refuse the book until they are removed.";
}

void Form1::First_Click() {
  if (FileNo >= 0) files_.Close(FileNo);
  FileNo = files_.FreeFile();
  if (!platform_.executable_dir) throw errors::PathFileAccess("h1.txt", "no executable folder");
  files_.Open(FileNo, platform_.executable_dir() / "h1.txt");
  CurLine.clear();
  reader_.Reset();
  {
    std::u16string end_marker;
    reader_.readNext(end_marker);
  }
  {
    std::u16string end_marker;
    reader_.readNext(end_marker);
  }
  CurVol = CurKtb = CurBab = CurSubBab = 0;
  HadeethNo = HadeethID = 0;
  IsBab = false;
}

void Form1::Command1_Click() {
  switch (dispatcher_.Command1_Click()) {
    case LoopEnd::kEndOfBook:
      outcome_ = RunOutcome::kFinished;
      break;
    case LoopEnd::kMarkerMissing:
      outcome_ = RunOutcome::kMarkerMissing;
      break;
  }
}

void Form1::Command2_Click() {
  SourceFile& file = files_.Get(FileNo);
  while (!file.AtEnd()) {
    CurLine = file.ReadItem();
    RecText += kCrLf;
    RecText += u"NL";
    RecText += kCrLf;
    RecText += CurLine;
  }
}

void Form1::Form_Unload(int16_t& /*Cancel*/) {
  if (FileNo >= 0) files_.Close(FileNo);
  closed_ = true;
}

int64_t Form1::Failures() const {
  int64_t start_lines = display_.list_lines() >= 2 ? 2 : display_.list_lines();
  return display_.list_lines() - start_lines + display_.boxes();
}

int Form1::ExitStatus() const {
  switch (outcome_) {
    case RunOutcome::kFinished:
      return committed_ ? (Failures() == 0 ? 0 : 1) : 2;
    case RunOutcome::kMarkerMissing:
      return committed_ ? 1 : 2;
    default:
      return 2;
  }
}

std::u16string Form1::Summary(double seconds) const {
  std::u16string what;
  switch (outcome_) {
    case RunOutcome::kNotRun:
      what = u"not run";
      break;
    case RunOutcome::kFinished:
      what = u"import finished";
      break;
    case RunOutcome::kMarkerMissing:
      what = u"import finished, but the end-of-book marker was missing";
      break;
    case RunOutcome::kNoHostFolder:
      what = u"refused: no host data folder in the settings";
      break;
    case RunOutcome::kDbFailed:
      what = u"refused: the database could not be opened";
      break;
    case RunOutcome::kAlreadyInstalled:
      what = u"refused: the book is already installed";
      break;
    case RunOutcome::kStartupError:
      what = u"stopped early: start-up failed";
      break;
    case RunOutcome::kClosed:
      what = u"stopped early: the window was closed";
      break;
    case RunOutcome::kSourceUnreadable:
      what = u"stopped early: the source text could not be read";
      break;
    case RunOutcome::kImportUndone:
      what = u"stopped early: the database undid the import";
      break;
    case RunOutcome::kWritesRefused:
      what = u"stopped early: the database refused to be written";
      break;
    case RunOutcome::kNotSaved:
      what = u"stopped: the import could not be saved";
      break;
  }
  // Counts of what the database holds now: an import that was not committed
  // left only what UndoImport found and could not remove.
  int64_t rows = committed_ ? db_.rows_changed() : std::max<int64_t>(rows_left_, 0);
  int64_t fields = committed_ ? db_.fields_updated() : 0;
  if (!committed_ && rows_left_ > 0) {
    what += u", and " + Decimal(rows_left_) + u" rows of the book are still in the database";
  } else if (!committed_ && rows_left_ < 0) {
    what += u", and whether anything of the book is left could not be checked";
  } else if (!committed_ && (db_.rows_changed() > 0 || db_.fields_updated() > 0)) {
    what += u", and everything it wrote was undone";
  }
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.2f", seconds);
  return what + u"; " + Decimal(dispatcher_.records_handled()) + u" records handled, " +
         Decimal(rows) + u" rows inserted, " + Decimal(fields) + u" fields updated, " +
         Decimal(Failures()) + u" failures reported, " + Utf8ToUtf16(secs) + u" seconds";
}

}  // namespace addbook
