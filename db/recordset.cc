#include "db/recordset.h"

#include "base/error.h"
#include "base/text.h"

namespace addbook {
namespace {

constexpr std::u16string_view kDataSourceKey = u"Data Source=";

}  // namespace

void Connection::Open(const PathResolver& resolve, const engine::SessionOpener& open) {
  if (session_) throw errors::ObjectOpen();
  // Data Source is the last key, so its value runs to the end of the text: a
  // folder name holding ';' stays whole.
  size_t key = ConnectionString.find(kDataSourceKey);
  if (key == std::u16string::npos) {
    throw Error(errors::kInvalidArgument, "The connection string names no Data Source");
  }
  std::u16string_view data_source =
      std::u16string_view(ConnectionString).substr(key + kDataSourceKey.size());
  session_ = open(resolve(data_source), ConnectionTimeout);
}

void Connection::Close() {
  if (!session_) return;
  try {
    session_->Rollback();
  } catch (const Error&) {
    // Closing below leaves the transaction unfinished in the file, and the
    // file's journal undoes it when it is next opened.
  }
  session_.reset();
}

void Connection::BeginTrans() { session().Begin(); }
std::optional<Error> Connection::CommitTrans() { return session().Commit(); }
void Connection::RollbackTrans() { session().Rollback(); }

engine::Session& Connection::session() {
  if (!session_) throw errors::ConnectionUnusable();
  return *session_;
}

void Recordset::Open(std::u16string_view source) {
  if (open_) throw errors::ObjectOpen();
  if (!ActiveConnection || ActiveConnection->State() != kStateOpen) {
    throw errors::ConnectionUnusable();
  }
  ActiveConnection->Observe(source);
  engine::QueryResult result = ActiveConnection->session().Query(source);
  columns_ = std::move(result.columns);
  rows_ = std::move(result.rows);
  writer_ = std::move(result.writer);
  read_only_reason_ = std::move(result.read_only_reason);
  current_ = 0;
  edit_.clear();
  open_ = true;
}

void Recordset::Close() {
  CheckOpen();
  if (EditPending()) throw errors::NotAllowedInContext();
  open_ = false;
  columns_.clear();
  rows_.clear();
  writer_.reset();
  current_ = 0;
}

int32_t Recordset::RecordCount() const {
  CheckOpen();
  return static_cast<int32_t>(rows_.size());
}

Field Recordset::Fields(std::u16string_view name) const {
  CheckOpen();
  size_t column = ColumnIndex(name);
  CheckCurrentRow();
  auto pending = edit_.find(column);
  return Field(columns_[column],
               pending != edit_.end() ? pending->second : rows_[current_][column]);
}

void Recordset::Collect(std::u16string_view name, Variant value) {
  CheckOpen();
  size_t column = ColumnIndex(name);
  CheckCurrentRow();
  if (!writer_) throw errors::NotUpdatable(read_only_reason_);
  edit_[column] = std::move(value);
}

std::optional<Error> Recordset::Update() {
  CheckOpen();
  if (edit_.empty()) return std::nullopt;
  CheckCurrentRow();
  std::vector<size_t> columns;
  std::vector<Variant> values;
  for (const auto& [column, value] : edit_) {
    columns.push_back(column);
    values.push_back(value);
  }
  std::optional<Error> warning = writer_->Write(current_, columns, values);
  fields_written_ += static_cast<int64_t>(columns.size());
  for (auto& [column, value] : edit_) rows_[current_][column] = std::move(value);
  edit_.clear();
  return warning;
}

void Recordset::CancelUpdate() {
  CheckOpen();
  edit_.clear();
}

void Recordset::CheckOpen() const {
  if (!open_) throw errors::ObjectClosed();
}

size_t Recordset::ColumnIndex(std::u16string_view name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoringAsciiCase(columns_[i], name)) return i;
  }
  throw errors::ItemNotFound();
}

void Recordset::CheckCurrentRow() const {
  if (current_ >= rows_.size()) throw errors::NoCurrentRecord();
}

engine::Executed Command::Execute() {
  if (!ActiveConnection || ActiveConnection->State() != kStateOpen) {
    throw errors::ConnectionUnusable();
  }
  ActiveConnection->Observe(CommandText);
  return ActiveConnection->session().Execute(CommandText);
}

}  // namespace addbook
