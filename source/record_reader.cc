// Records
// =======
//
// Each item of the source text (see source_file.cc) is one line.  A record is
// a record-start line and the lines after it up to the next record-start
// line.  The reader keeps one line of look-ahead in CurLine: when a record is
// handed over, the line that begins the next one has already been read.
//
// Line rewrites.  Each line is rewritten once, as it is read and before it is
// tested, by replacing at most one character (a line's length never changes):
//
//   1. "$..."              -> "%..."          a body line: continues a record
//   2. "@" digit ...       -> "$" digit ...   a chain-of-narrators line
//   3. "0" digits X ...    -> "0" digits " " ...
//                             the first character after the leading digits
//                             becomes a space, whatever it is; a line of
//                             digits only stays as it is.  Skipped for every
//                             line read while collecting a record that begins
//                             with "@" (a comment).
//
// A line whose first character is then "*", "@", "0" or "$" starts a record.
// Digits are "0" to "9" only, and every test compares character codes.
//
// Record extent, by the record's first line:
//
//   "*TYPING..."   up to the line before the first one beginning "*END*";
//                  record-start lines are collected like any other line
//   "*..."         that one line; the next line starts the next record
//   anything else  up to the line before the next record-start line
//
// A caller's non-empty end marker makes a record run the way "*TYPING" runs to
// "*END*".
//
// End of the file.  When the end is reached and nothing was collected in a
// call, the record is the last line alone, without a line break, and every
// later call delivers it again.  When the end is reached while a record is
// still open (its last line continues it, or "*TYPING" is never closed), the
// collected lines and the last line are delivered together as one record with
// a line break after each, and later calls deliver an empty record, so that
// nothing is lost and nothing is delivered twice.  Either way Exhausted() then
// tells the caller that the file has no more records.
//
// The position that rule 3 counts with is 16 bits wide: a line that begins
// with 32,767 digits or more overflows it, is reported, and stays as read.
#include "source/record_reader.h"

#include <cstdint>

#include "base/error.h"
#include "base/text.h"

namespace addbook {
namespace {

constexpr std::u16string_view kTypingMarker = u"*TYPING";
constexpr std::u16string_view kTypingEnd = u"*END*";
constexpr int32_t kMaxPosition = INT16_MAX;

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Rule 3.  Leaves |line| unchanged when it throws.
void SeparateNumber(std::u16string& line) {
  const size_t length = line.size();
  int32_t position = 1;
  while (static_cast<size_t>(position) <= length && IsDigit(line[position - 1])) {
    if (position == kMaxPosition) throw errors::Overflow();
    ++position;
  }
  if (static_cast<size_t>(position) <= length) line[position - 1] = u' ';
}

// Rules 1 to 3 in order; |in_comment| skips rule 3.
void RewriteLine(std::u16string& line, bool in_comment) {
  if (line.empty()) return;
  if (line[0] == u'$') line[0] = u'%';
  if (line[0] == u'@' && line.size() > 1 && IsDigit(line[1])) line[0] = u'$';
  if (line[0] == u'0' && !in_comment) SeparateNumber(line);
}

}  // namespace

RecordReader::RecordReader(ReaderFields& fields, FileTable& files, Display& display)
    : fields_(fields), files_(files), display_(display) {}

void RecordReader::readNext(std::u16string& EndMarker) {
  try {
    ReadRecord(EndMarker);
  } catch (const Error& e) {
    display_.MsgBox(e.description(), BoxStyle::kPlain, u"");
  }
}

void RecordReader::ReadRecord(std::u16string& EndMarker) {
  std::u16string& rec = fields_.RecText;
  std::u16string& cur = fields_.CurLine;
  rec.clear();
  if (cur.starts_with(kTypingMarker)) EndMarker = kTypingEnd;
  const bool in_comment = cur.starts_with(u'@');

  SourceFile& file = files_.Get(fields_.FileNo);
  // A one-line "*" record is complete as soon as its line is collected.
  auto open_ended = [&] { return rec.empty() || rec[0] != u'*' || !EndMarker.empty(); };
  while (!file.AtEnd() && open_ended()) {
    rec += cur;
    rec += kCrLf;
    cur = file.ReadItem();
    RewriteLine(cur, in_comment);
    const bool ends = EndMarker.empty() ? IsRecordStart(cur) : cur.starts_with(EndMarker);
    if (ends) return;
  }

  if (rec.empty()) {
    // The end of the file, nothing collected: the last line alone.
    if (!drained_) rec = cur;
    exhausted_ = true;
  } else if (open_ended()) {
    // The end of the file came before the record's end: its last line
    // belongs to it.
    rec += cur;
    rec += kCrLf;
    exhausted_ = true;
    drained_ = true;
  }
}

bool RecordReader::IsRecordStart(const std::u16string& line) {
  if (line.empty()) return false;
  const char16_t first = line[0];
  return first == u'*' || first == u'@' || first == u'0' || first == u'$';
}

void RecordReader::Reset() {
  exhausted_ = false;
  drained_ = false;
}

}  // namespace addbook
