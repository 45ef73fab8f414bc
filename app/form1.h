// The window object: it holds the run's fields and captions and runs the
// whole import from its load handler, synchronously, to the end.
#ifndef ADDBOOK_APP_FORM1_H_
#define ADDBOOK_APP_FORM1_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/captions.h"
#include "base/display.h"
#include "db/database.h"
#include "db/export_data.h"
#include "source/record_dispatcher.h"
#include "source/record_reader.h"
#include "source/source_file.h"

namespace addbook {

// What start-up needs from the machine it runs on.
struct Platform {
  // The host data folder from the per-user settings; "NONE" when absent.
  std::function<std::u16string()> read_host_folder;
  // The folder of the running executable; the source text "h1.txt" is there.
  // Asked for when the source text is opened; throws Error when the system
  // cannot tell.
  std::function<std::filesystem::path()> executable_dir;
  // Maps the database's Windows-style data source to the file to open; null
  // for the database layer's own mapping.
  std::function<std::filesystem::path(std::u16string_view)> resolve_path;
  // SQLite busy timeout in milliseconds; shortened only by tests.
  int busy_timeout_ms = 60000;
  // Opens the database file; null for the engine its kind calls for.
  engine::SessionOpener open_database;
};

// How a run ended.
enum class RunOutcome {
  kNotRun,
  kFinished,          // the end-of-book record was handled
  kMarkerMissing,     // every record was handled, but the end-of-book record was missing
  kNoHostFolder,      // no host data folder in the settings
  kDbFailed,          // the database could not be opened
  kAlreadyInstalled,  // the book is in the database already
  kStartupError,      // start-up failed (the source text could not be opened, ...)
  kClosed,            // the window was closed during the run
  kSourceUnreadable,  // reading the source text failed
  kImportUndone,      // the database undid the import by itself
  kWritesRefused,     // the database refused a write: it cannot be written
  kNotSaved,          // the import could not be committed
};

// Thrown out of an event point once the window has been closed there: it
// unwinds the run, past every procedure's error trap, to the load handler,
// so that nothing more is written.
struct RunStopped {};

// The display as the run uses it: counts what the run reported, and ends the
// run at the event point where the window was closed.
class RunDisplay : public Display {
 public:
  // |stopped| is read after each event point; it must outlive this object.
  RunDisplay(Display& inner, const bool& stopped) : inner_(inner), stopped_(stopped) {}
  void AddListLine(std::u16string_view line) override;
  void ShowCaption(Control control, std::u16string_view text) override;
  void MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) override;
  void ShowWindow() override { inner_.ShowWindow(); }
  void Repaint() override { inner_.Repaint(); }
  void DoEvents() override;
  void SetEvents(DisplayEvents* events) override { inner_.SetEvents(events); }

  int64_t list_lines() const { return list_lines_; }
  int64_t boxes() const { return boxes_; }

 private:
  Display& inner_;
  const bool& stopped_;
  int64_t list_lines_ = 0;
  int64_t boxes_ = 0;
};

class Form1 : public ReaderFields, public DispatchFields, private DisplayEvents {
 public:
  // |display| must outlive the window object.
  Form1(Display& display, Platform platform);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // The host data folder.
  std::u16string Sep;

  // The load handler: shows the window, reads the host folder and runs the
  // import to its end.  Every error not trapped deeper ends the run here,
  // after a box with its number and description.
  void Form_Load();
  // Opens the database, then primes the source text, runs the record loop
  // and commits the import; on every other path the import is undone.
  void StartImport();
  // Opens the source text (closing it first when open), primes the reader
  // twice and zeroes the counters.
  void First_Click();
  // The record loop.
  void Command1_Click();
  // Appends every item left in the source text to the current record, each
  // behind a separator line "NL".
  void Command2_Click();
  // The window is being closed: closes the source text and stops the run at
  // the event point where it happened; nothing more is written.
  void Form_Unload(int16_t& Cancel);

  const Captions& captions() const { return captions_; }
  RunOutcome outcome() const { return outcome_; }
  // 0: the book was imported to its end and nothing failed; 1: it was
  // imported to its end with failures reported; 2: the run stopped before.
  int ExitStatus() const;
  // One line that sums the run up, without the program's name.
  std::u16string Summary(double seconds) const;

  static constexpr std::u16string_view kStartLine1 = u"Adding Book, Please Wait ...";
  static constexpr std::u16string_view kStartLine2 = u"Must Have Varnel Version 2.88 or Later";

 private:
  // True when any table holds a row of the book already.  A lookup that
  // fails counts as finding none.  Notes the tables it proved to hold none.
  bool BookAlreadyInstalled();
  // Makes the import permanent; on failure keeps why, for the box that
  // Form_Load shows once it knows what the database holds.
  void CommitImport();
  // After a run that began the import and did not commit it: undoes the
  // transaction, looks for rows of the book in the tables proved empty
  // before the import, removes any it finds (statements that ran after the
  // database undid the transaction by itself took effect on their own) and
  // counts again into |rows_left_|.
  void UndoImport();
  // What the database holds of the book after UndoImport, as a sentence.
  std::u16string WhatIsLeft() const;
  // User actions at an event point.
  void Closing() override;
  void Clicked(Control button) override;
  // Failures reported so far: boxes, and list lines other than the two start lines.
  int64_t Failures() const;

  bool closed_ = false;  // the window was closed; read by display_
  RunDisplay display_;
  Platform platform_;
  Captions captions_;
  FileTable files_;
  Database db_;
  ExportData writers_;
  RecordReader reader_;
  RecordDispatcher dispatcher_;
  RunOutcome outcome_ = RunOutcome::kNotRun;
  bool committed_ = false;  // the import is in the database for good
  // Tables in which the installed check, inside the import's transaction,
  // found no row of the book: any found there later are this run's.
  std::vector<std::u16string_view> proven_empty_;
  bool import_begun_ = false;  // the book was found missing and the import began
  // Rows of the book left after an import that was not committed: 0 when
  // none, -1 when they could not be counted.
  int64_t rows_left_ = 0;
  std::u16string left_error_;  // why they could not be counted or removed
  // The error that ended the import, shown once UndoImport has run.
  std::optional<Error> stop_error_;
};

}  // namespace addbook

#endif  // ADDBOOK_APP_FORM1_H_
