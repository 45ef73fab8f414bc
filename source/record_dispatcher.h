// The import's main loop: one pass per record, telling the record's kind
// from its first characters, keeping the heading and hadeeth counters,
// calling one writer, asking the reader for the next record and showing the
// counters.
#ifndef ADDBOOK_SOURCE_RECORD_DISPATCHER_H_
#define ADDBOOK_SOURCE_RECORD_DISPATCHER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/captions.h"
#include "base/display.h"
#include "db/export_data.h"
#include "source/record_reader.h"

namespace addbook {

// The book number every writer is given.
inline constexpr int16_t kBookNo = 706;

// The counters of the window object that the loop keeps.
struct DispatchFields {
  int16_t CurVol = 0;     // level-1 heading counter
  int16_t CurKtb = 0;     // level-2
  int16_t CurBab = 0;     // level-3
  int16_t CurSubBab = 0;  // level-4
  int32_t HadeethNo = 0;  // running number of sanad records
  int32_t HadeethID = 0;  // the same count, the key the body records use
  bool IsBab = false;     // the last heading's text holds the word "باب"
};

// How the loop ended.
enum class LoopEnd {
  kEndOfBook,      // the end-of-book record was handled
  kMarkerMissing,  // the text ran out without an end-of-book record
};

class RecordDispatcher {
 public:
  // Everything is borrowed and must outlive the dispatcher.
  RecordDispatcher(ReaderFields& record, DispatchFields& fields, RecordReader& reader,
                   ExportData& writers, Captions& captions, Display& display);

  // Runs passes until the phase label reads "eof".  When the source text
  // ends without that record, stops after its last record has been handled
  // and shows "End of Book Marker Missing".  Reports its own errors.
  LoopEnd Command1_Click();

  // One pass over the record in RecText, tail included.
  void Pass();

  // Passes run since construction.
  int64_t records_handled() const { return records_handled_; }

 private:
  void DispatchMarker(const std::u16string& rec);
  void DispatchTitle(const std::u16string& rec, size_t p);
  void DispatchKeyword(const std::u16string& rec, size_t p);
  void Tail();
  // GetTitleID for the current counters; -1 when the lookup itself failed.
  int32_t CurrentTitleID();
  // Runs one step of a pass; an error is shown and the pass goes on.
  template <typename F>
  void Step(F&& step);

  ReaderFields& record_;
  DispatchFields& f_;
  RecordReader& reader_;
  ExportData& writers_;
  Captions& captions_;
  Display& display_;
  int64_t records_handled_ = 0;
};

}  // namespace addbook

#endif  // ADDBOOK_SOURCE_RECORD_DISPATCHER_H_
