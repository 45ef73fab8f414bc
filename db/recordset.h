// The three database objects every database step goes through: the
// connection to the host's database, the recordset that holds the rows of a
// query and writes edits of its current row back, and the command that runs
// statements which return no rows.
#ifndef ADDBOOK_DB_RECORDSET_H_
#define ADDBOOK_DB_RECORDSET_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine.h"
#include "db/variant.h"

namespace addbook {

// Recordset and connection states.
inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;

// Turns the data source of a connection string (a Windows-style path) into
// a path of the file system the program runs on.
using PathResolver = std::function<std::filesystem::path(std::u16string_view)>;

// The connection to one database file, opened for reading and writing.
class Connection {
 public:
  // "Key=value;..." text; its last key, Data Source, names the database file.
  // The provider it names is not used: the file's own first bytes pick the
  // engine.
  std::u16string ConnectionString;
  // The longest wait for a lock held by another program.
  std::chrono::milliseconds ConnectionTimeout{std::chrono::seconds(15)};

  // Opens the file that ConnectionString names, through |resolve|, with
  // |open| (OpenDatabaseFile unless a caller picks an engine).  Throws
  // errors::ObjectOpen when already open, and the engine's Error when the
  // file cannot be opened for writing; the connection stays closed then.
  void Open(const PathResolver& resolve,
            const engine::SessionOpener& open = engine::OpenDatabaseFile);
  int State() const { return session_ ? kStateOpen : kStateClosed; }
  // Closes the database; a transaction still open is undone first.  Never
  // throws: when the undo fails, the file's own journal undoes the
  // transaction when the file is next opened.
  void Close();

  // The import's one transaction (engine::Session::Begin and Commit; Close
  // undoes it); each throws errors::ConnectionUnusable when closed.
  void BeginTrans();
  // Returns the engine's warning when the commit succeeded with one.
  std::optional<Error> CommitTrans();
  // Undoes the transaction, if one is open; the connection stays open.
  // Throws the engine's Error when it fails to.
  void RollbackTrans();

  // The open database.  Throws errors::ConnectionUnusable when closed.
  engine::Session& session();

  // Shows every statement text handed to the engine, before it runs, to
  // |observer| (a log, or a test).  Null to stop.
  void set_statement_observer(std::function<void(std::u16string_view)> observer) {
    observer_ = std::move(observer);
  }
  void Observe(std::u16string_view sql) const {
    if (observer_) observer_(sql);
  }

 private:
  std::unique_ptr<engine::Session> session_;
  std::function<void(std::u16string_view)> observer_;
};

// One column of the current row.
class Field {
 public:
  Field(std::u16string name, Variant value) : name_(std::move(name)), value_(std::move(value)) {}
  const std::u16string& Name() const { return name_; }
  const Variant& Value() const { return value_; }

 private:
  std::u16string name_;
  Variant value_;
};

// The rows of one query, all loaded when it opens; the first row, when there
// is one, is current.  Column names are matched without regard to case.
// Every operation on a closed recordset throws errors::ObjectClosed, and
// reading or editing a column when there is no row throws
// errors::NoCurrentRecord.
class Recordset {
 public:
  // The connection queries run on.  Not owned.
  Connection* ActiveConnection = nullptr;

  // Runs the query |source| on ActiveConnection.  Throws errors::ObjectOpen
  // when open, errors::ConnectionUnusable when there is no open connection,
  // and the engine's Error when the query fails; the recordset stays closed
  // on every failure.
  void Open(std::u16string_view source);
  // Throws errors::NotAllowedInContext while an edit is pending.
  void Close();
  int State() const { return open_ ? kStateOpen : kStateClosed; }

  // The exact number of rows of the query.
  int32_t RecordCount() const;
  // Column |name| of the current row, as read or last written.  Throws
  // errors::ItemNotFound when the query has no such column.
  Field Fields(std::u16string_view name) const;
  // Sets column |name| of the current row to |value| and starts (or adds to)
  // an edit of that row.  Throws errors::ItemNotFound for an unknown column
  // and errors::NotUpdatable when the query's rows cannot be written back.
  void Collect(std::u16string_view name, Variant value);
  // Writes the pending edit to the current row of the database at once, and
  // to that row only.  Does nothing without a pending edit.  Returns the
  // engine's warning when it stored the edit with one.  When the engine
  // refuses the write, throws its Error; the edit then stays pending.
  std::optional<Error> Update();
  // Drops the pending edit, if any, without writing it.
  void CancelUpdate();
  // True while an edit is pending.
  bool EditPending() const { return !edit_.empty(); }
  // Fields written to the database by Update since construction.
  int64_t fields_written() const { return fields_written_; }

 private:
  void CheckOpen() const;
  size_t ColumnIndex(std::u16string_view name) const;
  void CheckCurrentRow() const;

  bool open_ = false;
  std::vector<std::u16string> columns_;
  std::vector<std::vector<Variant>> rows_;
  std::unique_ptr<engine::RowWriter> writer_;
  std::u16string read_only_reason_;  // why writer_ is null
  int64_t fields_written_ = 0;
  size_t current_ = 0;              // rows_.size() when there is no current row
  std::map<size_t, Variant> edit_;  // pending values by column
};

// Runs statements that return no rows.
class Command {
 public:
  // The connection statements run on.  Not owned.
  Connection* ActiveConnection = nullptr;
  std::u16string CommandText;

  // Runs CommandText as one statement; rows it returns are dropped.  Returns
  // the number of rows it inserted, changed or deleted, with the engine's
  // warning when there was one.  Throws errors::ConnectionUnusable without
  // an open connection, and the engine's Error when the statement fails.
  engine::Executed Execute();
};

}  // namespace addbook

#endif  // ADDBOOK_DB_RECORDSET_H_
