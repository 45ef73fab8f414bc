// Native Access engine: the session over jet::Database.
//
// Statements.  Only the installer's own shapes run (db/sql_text.h), read
// with db/sql_scanner.h:
//
//   INSERT INTO <table> (<column>, ...) VALUES (<number or 'text'>, ...)
//   SELECT * FROM <table> [WHERE <column> = <number> [AND ...]]
//   SELECT Count(*) [AS <name>] FROM <table> [WHERE ...as above]
//
// Names bare or in [brackets], matched without regard to case.  Anything
// else (the cleanup's DELETE among it: an import that is not committed
// leaves nothing in the host, so the cleanup never finds rows to delete) is
// refused with 3142 before anything changes.  A SELECT * gives the table's
// columns under their own names, and its rows can be written back, inside
// the transaction they were read in, through Table::Update.
//
// The transaction.  Begin holds the host file as in use (host_file.h),
// waiting up to the busy timeout for another program that has it open, and
// copies it to a private file beside it, ImportCopyPath; every statement of
// the transaction runs on that copy.  Commit flushes the copy, keeps the
// host's file as PreviousFilePath and renames the copy over the host in one
// step, so the host's name always holds the old file or the new one, whole.
// Rollback, and any failure after Begin, throws the copy away: the host was
// never touched.  A run killed before the commit leaves the copy behind, and
// the next open removes it.  Outside a transaction queries read the host
// itself, and an insert runs in a transaction of its own.
//
// Failures.  jet::Database refuses a row (Jet's own numbers and words)
// before any page changes: such an Error leaves the transaction going.  A
// failure while pages are written or read back (errors::PathFileAccess),
// damage met in the middle of a change (errors::kNotADatabase) or any other
// exception out of a change may have left the copy half-written: the copy is
// thrown away and FatalError (ImportUndone) ends the import.
#include "db/jet/jet_engine.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>
#include <variant>

#include "base/error.h"
#include "base/file.h"
#include "base/text.h"
#include "db/jet/database.h"
#include "db/jet/host_file.h"
#include "db/sql_scanner.h"

namespace addbook::engine {
namespace {

// The number of a failure of the engine that carries none of its own.
constexpr int32_t kEngineFailure = -1;

constexpr char kShapes[] =
    "the native Access engine runs only the installer's own statements: INSERT INTO <table> "
    "(<columns>) VALUES (<numbers and 'texts'>), and SELECT * or SELECT Count(*) FROM <table> "
    "with an optional WHERE <column> = <number> [AND ...]; nothing was run";

// The installer's lookups: "SELECT * | Count(*) FROM <table> [WHERE ...]".
struct Lookup {
  std::u16string table;
  std::optional<std::u16string> count;  // the count's column name; none for "*"
  std::vector<std::u16string> columns;  // of the condition
  std::vector<int64_t> values;
};

struct Insert {
  std::u16string table;
  std::vector<std::u16string> columns;
  std::vector<Variant> values;
};

using Statement = std::variant<Lookup, Insert>;

Statement Parse(std::u16string_view sql) {
  sql::RefuseNul(sql);
  const std::string text = Utf16ToUtf8(sql);
  if (Utf8ToUtf16(text) != sql) {
    throw errors::StatementRefused(
        "The statement holds a character that is not valid UTF-16 (half of a surrogate pair); "
        "nothing was run");
  }
  if (std::optional<sql::SimpleInsert> parsed = sql::ParseInsert(text)) {
    Insert insert{Utf8ToUtf16(parsed->table), {}, {}};
    for (size_t i = 0; i < parsed->columns.size(); ++i) {
      std::u16string column = Utf8ToUtf16(parsed->columns[i]);
      for (const std::u16string& earlier : insert.columns) {
        if (EqualsIgnoringAsciiCase(earlier, column)) {
          throw errors::StatementRefused("The insert names the column " + parsed->columns[i] +
                                         " twice; nothing was run");
        }
      }
      insert.columns.push_back(std::move(column));
      const auto* number = std::get_if<int64_t>(&parsed->values[i]);
      insert.values.push_back(number
                                  ? Variant(*number)
                                  : Variant(Utf8ToUtf16(std::get<std::string>(parsed->values[i]))));
    }
    return insert;
  }
  std::optional<sql::SimpleSelect> select = sql::ParseSimpleSelect(text);
  if (!select) throw errors::StatementRefused(std::string("The statement was refused: ") + kShapes);
  Lookup lookup{Utf8ToUtf16(select->table), {}, {}, {}};
  std::string star = select->columns;
  star.erase(std::remove_if(star.begin(), star.end(), sql::IsSqlSpace), star.end());
  if (star != "*") {
    std::optional<std::string> count = sql::ParseCountColumn(select->columns);
    if (!count) throw errors::StatementRefused(std::string("The query was refused: ") + kShapes);
    lookup.count = Utf8ToUtf16(*count);
  }
  if (select->condition) {
    std::optional<std::vector<sql::Equality>> equalities = sql::ParseEqualities(*select->condition);
    if (!equalities) {
      throw errors::StatementRefused(std::string("The query's condition was refused: ") + kShapes);
    }
    for (const sql::Equality& equality : *equalities) {
      lookup.columns.push_back(Utf8ToUtf16(equality.column));
      lookup.values.push_back(equality.value);
    }
  }
  return lookup;
}

jet::Table& FindTable(jet::Database& db, std::u16string_view name) {
  jet::Table* table = db.FindTable(name);
  if (!table) throw errors::TableNotFound(name);
  return *table;
}

std::vector<size_t> ColumnIndexes(jet::Table& table, const std::vector<std::u16string>& names) {
  const std::vector<std::u16string>& columns = table.column_names();
  std::vector<size_t> indexes;
  for (const std::u16string& name : names) {
    auto found = std::find_if(columns.begin(), columns.end(), [&](const std::u16string& column) {
      return EqualsIgnoringAsciiCase(column, name);
    });
    if (found == columns.end()) throw errors::FieldNotFound(table.name(), name);
    indexes.push_back(static_cast<size_t>(found - columns.begin()));
  }
  return indexes;
}

// Throws errors::DatabaseOpen (kNotADatabase) when an index of the
// installer's tables has keys that this engine cannot write exactly.
void CheckWritable(jet::Database& db, const std::filesystem::path& path) {
  for (std::u16string_view name : {u"Books", u"Titles", u"Hadeeths"}) {
    jet::Table* table = db.FindTable(name);
    if (!table) continue;
    if (std::optional<std::u16string> index = db.UnwritableIndex(*table)) {
      throw errors::DatabaseOpen(
          errors::kNotADatabase, PathToUtf8(path),
          "the index " + Utf16ToUtf8(*index) + " of the table " + Utf16ToUtf8(table->name()) +
              " has a Text key that the native engine cannot write exactly in this file's sort "
              "order, so it writes nothing to this file; the Windows build of the installer, with "
              "Microsoft's Access driver installed, can write it");
    }
  }
}

// The open file, shared by its session and the row writers of its queries.
class JetDb {
 public:
  JetDb(std::filesystem::path path, std::filesystem::path host, bool ace,
        std::chrono::milliseconds busy_timeout)
      : path_(std::move(path)),
        host_(std::move(host)),
        lock_file_(std::filesystem::path(host_).replace_extension(ace ? ".laccdb" : ".ldb")),
        copy_(ImportCopyPath(host_)),
        before_(PreviousFilePath(host_)),
        busy_timeout_(busy_timeout) {}
  ~JetDb() { Abandon(); }
  JetDb(const JetDb&) = delete;
  JetDb& operator=(const JetDb&) = delete;

  // Removes a copy that an import killed before its end left, and reads the
  // host, when no other program has it open; otherwise Begin waits for it
  // and reads it then.
  void Open() {
    // Refuses a read-only file or folder now rather than at Begin.
    std::unique_ptr<jet::HeldHost> held =
        jet::HoldHost(host_, lock_file_, std::chrono::milliseconds(0));
    if (!held) return;
    RemoveCopy();  // still held: no other import has begun meanwhile
    held.reset();  // on Windows this program's own handle would keep it from being read
    View();
  }

  bool in_transaction() const { return held_ != nullptr; }
  // Counts transactions begun: rows are written back only in the one they
  // were read in.
  uint64_t transaction() const { return transaction_; }

  void Begin() {
    if (held_) throw errors::NotAllowedInContext();
    view_.reset();  // on Windows this program's own handle would keep it from being held
    std::unique_ptr<jet::HeldHost> held = jet::HoldHost(host_, lock_file_, busy_timeout_);
    if (!held) {
      throw Error(errors::kDatabaseInUse,
                  "Could not use '" + PathToUtf8(path_) + "'; file already in use.");
    }
    try {
      try {
        held->CopyTo(copy_);
      } catch (const Error& e) {
        throw errors::DatabaseOpen(
            errors::kCannotOpenDatabase, PathToUtf8(path_),
            "the copy that the import writes could not be made: " + Utf16ToUtf8(e.description()));
      }
      db_ = OpenDatabase(copy_);
      CheckWritable(*db_, path_);
    } catch (const Error& e) {
      db_.reset();
      RemoveCopy();
      throw NamingHost(e);
    } catch (const std::exception& e) {
      db_.reset();
      RemoveCopy();
      throw Error(kEngineFailure, std::string("The transaction could not begin: ") + e.what());
    }
    held_ = std::move(held);
    ++transaction_;
  }

  std::optional<Error> Commit() {
    if (!held_) throw errors::NotAllowedInContext();
    try {
      db_->Flush();
      db_.reset();  // the copy is closed before it is renamed
      std::optional<std::string> warning = held_->Replace(copy_, before_);
      held_.reset();
      ++transaction_;
      if (warning) return Error(errors::kPathFileAccess, *warning);
      return std::nullopt;
    } catch (const Error&) {
      Abandon();
      throw;
    } catch (const std::exception& e) {
      Abandon();
      throw Error(kEngineFailure, std::string("The import could not be saved: ") + e.what());
    }
  }

  // Throws the copy away and lets the host go; the host was never touched.
  // Never throws: a copy that cannot be removed now is removed at the next
  // open.
  void Abandon() noexcept {
    if (!held_) return;
    db_.reset();
    RemoveCopy();
    held_.reset();
    ++transaction_;
  }

  // Runs |step| on the database that statements read: the copy inside the
  // transaction, else the host itself.  |writes|: the step may change pages.
  template <typename Step>
  auto Run(bool writes, Step&& step) -> decltype(step(std::declval<jet::Database&>())) {
    if (!held_) {
      try {
        return step(View());
      } catch (const std::exception& e) {
        throw Error(kEngineFailure,
                    std::string("The database file could not be read: ") + e.what());
      }
    }
    try {
      return step(*db_);
    } catch (const Error& e) {
      if (e.number() == errors::kPathFileAccess ||
          (writes && e.number() == errors::kNotADatabase)) {
        Abandon();
        throw ImportUndone(&e);
      }
      throw;
    } catch (const FatalError&) {
      Abandon();
      throw;
    } catch (const std::exception& e) {
      const Error cause(kEngineFailure,
                        std::string("The native Access engine failed: ") + e.what());
      if (!writes) throw cause;
      Abandon();
      throw ImportUndone(&cause);
    }
  }

 private:
  std::unique_ptr<jet::Database> OpenDatabase(const std::filesystem::path& file) {
    try {
      return jet::Database::Open(file);
    } catch (const std::exception& e) {
      throw errors::DatabaseOpen(errors::kNotADatabase, PathToUtf8(path_), e.what());
    }
  }

  // |e|, met in the copy, as met in the host: the copy has the host's bytes.
  Error NamingHost(const Error& e) const {
    std::u16string description = e.description();
    const std::u16string copy = PathToUtf16(copy_), host = PathToUtf16(path_);
    for (size_t at = description.find(copy); at != std::u16string::npos;
         at = description.find(copy, at + host.size())) {
      description.replace(at, copy.size(), host);
    }
    return Error(e.number(), description);
  }

  jet::Database& View() {
    if (!view_) {
      std::unique_ptr<jet::Database> view = OpenDatabase(host_);
      CheckWritable(*view, path_);
      view_ = std::move(view);
    }
    return *view_;
  }

  void RemoveCopy() noexcept {
    std::error_code ignored;
    std::filesystem::remove(copy_, ignored);
  }

  const std::filesystem::path path_;  // as given, named in messages
  const std::filesystem::path host_;  // the file itself, a link followed
  const std::filesystem::path lock_file_;
  const std::filesystem::path copy_;
  const std::filesystem::path before_;
  const std::chrono::milliseconds busy_timeout_;
  std::unique_ptr<jet::Database> view_;  // the host, read outside a transaction
  std::unique_ptr<jet::HeldHost> held_;  // from Begin to its end
  std::unique_ptr<jet::Database> db_;    // the copy, inside a transaction
  uint64_t transaction_ = 0;
};

class JetRowWriter : public RowWriter {
 public:
  JetRowWriter(std::shared_ptr<JetDb> db, std::u16string table, std::vector<jet::RowId> rows)
      : db_(std::move(db)),
        transaction_(db_->transaction()),
        table_(std::move(table)),
        rows_(std::move(rows)) {}

  std::optional<Error> Write(size_t row, const std::vector<size_t>& columns,
                             const std::vector<Variant>& values) override {
    if (row >= rows_.size()) throw errors::NoCurrentRecord();
    if (db_->transaction() != transaction_ || !db_->in_transaction()) {
      throw errors::NotUpdatable(u"The transaction its rows were read in has ended.");
    }
    if (columns.empty()) return std::nullopt;
    db_->Run(/*writes=*/true,
             [&](jet::Database& db) { FindTable(db, table_).Update(rows_[row], columns, values); });
    return std::nullopt;
  }

 private:
  std::shared_ptr<JetDb> db_;
  uint64_t transaction_;
  std::u16string table_;
  std::vector<jet::RowId> rows_;  // per query row
};

class JetSession : public Session {
 public:
  explicit JetSession(std::shared_ptr<JetDb> db) : db_(std::move(db)) {}

  QueryResult Query(std::u16string_view sql) override {
    Statement statement = Parse(sql);
    if (auto* insert = std::get_if<Insert>(&statement)) {
      RunInsert(*insert);
      QueryResult result;
      result.read_only_reason = u"It returns no rows.";
      return result;
    }
    return RunLookup(std::get<Lookup>(statement));
  }

  Executed Execute(std::u16string_view sql) override {
    Statement statement = Parse(sql);
    if (auto* lookup = std::get_if<Lookup>(&statement)) {
      RunLookup(*lookup);
      return {};
    }
    return RunInsert(std::get<Insert>(statement));
  }

  void Begin() override { db_->Begin(); }
  std::optional<Error> Commit() override { return db_->Commit(); }
  void Rollback() override { db_->Abandon(); }

 private:
  QueryResult RunLookup(const Lookup& lookup) {
    return db_->Run(/*writes=*/false, [&](jet::Database& db) {
      jet::Table& table = FindTable(db, lookup.table);
      const std::vector<jet::RowId> rows =
          table.Find(ColumnIndexes(table, lookup.columns), lookup.values);
      QueryResult result;
      if (lookup.count) {
        result.columns = {*lookup.count};
        result.rows = {{Variant(static_cast<int64_t>(rows.size()))}};
        result.read_only_reason = u"Its one row is a count, not a row of a table.";
        return result;
      }
      result.columns = table.column_names();
      for (jet::RowId row : rows) result.rows.push_back(table.Read(row));
      if (db_->in_transaction()) {
        result.writer = std::make_unique<JetRowWriter>(db_, table.name(), rows);
      } else {
        result.read_only_reason =
            u"It was read outside a transaction, and the native Access engine writes rows back "
            u"only inside the transaction they were read in.";
      }
      return result;
    });
  }

  // Outside a transaction an insert runs in one of its own.
  Executed RunInsert(const Insert& insert) {
    const bool own = !db_->in_transaction();
    if (own) db_->Begin();
    try {
      db_->Run(/*writes=*/true, [&](jet::Database& db) {
        jet::Table& table = FindTable(db, insert.table);
        table.Insert(ColumnIndexes(table, insert.columns), insert.values);
      });
    } catch (const Error&) {
      if (own) db_->Abandon();
      throw;
    }
    Executed done{1, std::nullopt};
    if (own) done.warning = db_->Commit();
    return done;
  }

  std::shared_ptr<JetDb> db_;
};

}  // namespace

std::filesystem::path ImportCopyPath(const std::filesystem::path& host) {
  return std::filesystem::path(host).concat(".addbook-import");
}

std::filesystem::path PreviousFilePath(const std::filesystem::path& host) {
  return std::filesystem::path(host).concat(".before-addbook");
}

std::unique_ptr<Session> OpenJetDatabase(const std::filesystem::path& path,
                                         std::chrono::milliseconds busy_timeout) {
  const std::string shown = PathToUtf8(path);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw errors::DatabaseOpen(errors::kDatabaseNotFound, shown, "no such file");
  }
  char header[32] = {};
  size_t got = 0;
  if (std::FILE* file = OpenForReading(path)) {
    got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
  }
  const FileKind kind = KindOfFile(std::string_view(header, got));
  if (kind != FileKind::kJet && kind != FileKind::kAce) {
    throw errors::DatabaseOpen(errors::kNotADatabase, shown, "it is not an Access database");
  }
  // A host that is a link to the file: the file itself is replaced, and the
  // link kept.
  std::filesystem::path host = path;
  if (std::filesystem::is_symlink(path, ec)) {
    std::filesystem::path target = std::filesystem::canonical(path, ec);
    if (!ec) host = target;
  }
  auto db = std::make_shared<JetDb>(path, host, kind == FileKind::kAce, busy_timeout);
  db->Open();
  return std::make_unique<JetSession>(std::move(db));
}

}  // namespace addbook::engine
