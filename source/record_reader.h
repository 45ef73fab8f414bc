// The record reader: turns the lines of the open source text into records,
// one record per call, keeping one line of look-ahead.
#ifndef ADDBOOK_SOURCE_RECORD_READER_H_
#define ADDBOOK_SOURCE_RECORD_READER_H_

#include <cstdint>
#include <string>

#include "base/display.h"
#include "source/source_file.h"

namespace addbook {

// The fields of the window object that the reader works on.
struct ReaderFields {
  int32_t FileNo = -1;     // the open source file; -1 when none is open
  std::u16string CurLine;  // look-ahead: the first line of the next record
  std::u16string RecText;  // the record delivered by the last call
};

// Reads records from the file open under |fields.FileNo| in |files|.  Holds
// references to all three arguments, which must outlive it.
class RecordReader {
 public:
  RecordReader(ReaderFields& fields, FileTable& files, Display& display);

  // Delivers the next record into RecText and leaves the line after it in
  // CurLine.  Pass an empty |EndMarker| for ordinary reading; a record that
  // begins with "*TYPING" sets it to "*END*", and a non-empty marker makes the
  // record run up to the first line that begins with it.  Never throws: an
  // error is shown in a plain message box with its description, and the
  // fields keep what they held when it was raised.
  void readNext(std::u16string& EndMarker);

  // True when the first character of |line| is "*", "@", "0" or "$".
  static bool IsRecordStart(const std::u16string& line);

  // True once a call has delivered the last record of the file.
  bool Exhausted() const { return exhausted_; }

  // Forgets the end-of-file state, for a file opened anew.
  void Reset();

 private:
  void ReadRecord(std::u16string& EndMarker);

  ReaderFields& fields_;
  FileTable& files_;
  Display& display_;
  bool exhausted_ = false;
  // The last record was delivered together with lines collected before the
  // end of the file; nothing is left to deliver.
  bool drained_ = false;
};

}  // namespace addbook

#endif  // ADDBOOK_SOURCE_RECORD_READER_H_
