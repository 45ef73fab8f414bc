// Record kinds, by the first character of the record after the reader's
// line rewrites:
//
//   "*"        marker: "*<digit>*text" is a heading of that level,
//              "*KEYWORD*text" a book, author, typing, end or end-of-book
//              record; a star line without a second star does nothing.
//   "@"        comment on the current heading.
//   "%"        body text of the current hadeeth.
//   "0" or "$" sanad: a new hadeeth.
//   otherwise  "Else": nothing is written.
//
// Each pass runs its steps in a fixed order.  A step that fails is shown in a
// box and has no effect; the pass goes on with the next step, so one bad
// record never ends the import.
#include "source/record_dispatcher.h"

#include <limits>

#include "base/error.h"
#include "base/text.h"

namespace addbook {
namespace {

constexpr std::u16string_view kBab = u"\u0628\u0627\u0628";

// |text| with every occurrence of |what| removed, compared exactly.
std::u16string RemoveAll(std::u16string text, std::u16string_view what) {
  size_t out = 0;
  size_t pos = 0;
  while (true) {
    size_t hit = text.find(what, pos);
    size_t end = hit == std::u16string::npos ? text.size() : hit;
    if (out != pos) text.replace(out, end - pos, text, pos, end - pos);
    out += end - pos;
    if (hit == std::u16string::npos) break;
    pos = hit + what.size();
  }
  text.resize(out);
  return text;
}

// |text| without leading and trailing spaces (U+0020 only).
std::u16string TrimSpaces(std::u16string_view text) {
  size_t begin = text.find_first_not_of(u' ');
  if (begin == std::u16string_view::npos) return {};
  size_t end = text.find_last_not_of(u' ');
  return std::u16string(text.substr(begin, end - begin + 1));
}

// The 1-based substring from |pos| to the end; empty past the end.
std::u16string From(const std::u16string& text, size_t pos) {
  return pos - 1 < text.size() ? text.substr(pos - 1) : std::u16string();
}

template <typename T>
void Increment(T& counter) {
  if (counter == std::numeric_limits<T>::max()) throw errors::Overflow();
  ++counter;
}

}  // namespace

RecordDispatcher::RecordDispatcher(ReaderFields& record, DispatchFields& fields,
                                   RecordReader& reader, ExportData& writers, Captions& captions,
                                   Display& display)
    : record_(record),
      f_(fields),
      reader_(reader),
      writers_(writers),
      captions_(captions),
      display_(display) {}

template <typename F>
void RecordDispatcher::Step(F&& step) {
  try {
    step();
  } catch (const Error& e) {
    display_.MsgBox(e.description(), BoxStyle::kPlain, {});
  }
}

LoopEnd RecordDispatcher::Command1_Click() {
  while (true) {
    // A record delivered once the source text was used up is its last one.
    bool last_record = reader_.Exhausted();
    Pass();
    if (captions_.Get(Control::kPhase) == u"eof") return LoopEnd::kEndOfBook;
    if (last_record) {
      display_.MsgBox(u"End of Book Marker Missing", BoxStyle::kPlain, {});
      return LoopEnd::kMarkerMissing;
    }
  }
}

void RecordDispatcher::Pass() {
  ++records_handled_;
  const std::u16string rec = record_.RecText;
  char16_t c = rec.empty() ? u'\0' : rec[0];
  if (!rec.empty() && c == u'*') {
    DispatchMarker(rec);
  } else if (c == u'@') {
    captions_.Set(Control::kPhase, u"comment");
    int32_t id = CurrentTitleID();
    Step([&] { writers_.AddDescription(id, From(rec, 2)); });
  } else if (c == u'%') {
    captions_.Set(Control::kPhase, u"Hadeeth Body");
    int32_t id = CurrentTitleID();
    Step([&] { writers_.AddMatn(id, f_.HadeethID, From(rec, 2)); });
  } else if (c == u'0' || c == u'$') {
    Step([&] { Increment(f_.HadeethNo); });
    Step([&] { Increment(f_.HadeethID); });
    int32_t id = CurrentTitleID();
    Step([&] { writers_.AddHadeeth(kBookNo, id, f_.HadeethID, f_.HadeethNo, rec); });
    captions_.Set(Control::kPhase, u"Hadeeth Sanad");
  } else {
    captions_.Set(Control::kPhase, u"Else");
  }
  Tail();
}

void RecordDispatcher::DispatchMarker(const std::u16string& rec) {
  size_t star = rec.find(u'*', 1);
  if (star == std::u16string::npos) return;  // no second star: nothing to do
  size_t p = star + 1;                       // 1-based position of the second star
  if (rec.size() > 1 && rec[1] >= u'0' && rec[1] <= u'9') {
    DispatchTitle(rec, p);
  } else {
    DispatchKeyword(rec, p);
  }
}

void RecordDispatcher::DispatchTitle(const std::u16string& rec, size_t p) {
  captions_.Set(Control::kPhase, From(rec, p + 1));
  f_.IsBab = rec.find(kBab) != std::u16string::npos;
  switch (rec[1]) {
    case u'1':
      Step([&] { Increment(f_.CurVol); });
      f_.CurKtb = f_.CurBab = f_.CurSubBab = 0;
      break;
    case u'2':
      Step([&] { Increment(f_.CurKtb); });
      f_.CurBab = f_.CurSubBab = 0;
      break;
    case u'3':
      Step([&] { Increment(f_.CurBab); });
      f_.CurSubBab = 0;
      break;
    case u'4':
      Step([&] { Increment(f_.CurSubBab); });
      break;
    default:
      captions_.Set(Control::kPhase, u"wrong number");
  }
  std::u16string title = TrimSpaces(From(rec, 4));
  Step([&] { writers_.AddTitle(kBookNo, f_.CurVol, f_.CurKtb, f_.CurBab, f_.CurSubBab, title); });
}

void RecordDispatcher::DispatchKeyword(const std::u16string& rec, size_t p) {
  std::u16string_view keyword = std::u16string_view(rec).substr(1, p - 2);
  if (keyword == u"BOOK") {
    captions_.Set(Control::kPhase, u"book");
    Step([&] { writers_.AddBook(kBookNo, RemoveAll(rec, u"*BOOK*")); });
  } else if (keyword == u"AUTHOR") {
    captions_.Set(Control::kPhase, u"author");
    Step([&] { writers_.AddAuthor(kBookNo, TrimSpaces(RemoveAll(rec, u"*AUTHOR*"))); });
  } else if (keyword == u"TYPING") {
    captions_.Set(Control::kPhase, u"typing");
    Step([&] { writers_.AddDetails(kBookNo, RemoveAll(rec, u"*TYPING*")); });
  } else if (keyword == u"END") {
    captions_.Set(Control::kPhase, u"end");
  } else if (keyword == u"EOF") {
    captions_.Set(Control::kPhase, u"eof");
  }
}

int32_t RecordDispatcher::CurrentTitleID() {
  // A lookup that failed names no heading; a value kept from an earlier
  // record would put this one under the wrong heading.
  int32_t id = -1;
  Step([&] { id = writers_.GetTitleID(kBookNo, f_.CurVol, f_.CurKtb, f_.CurBab, f_.CurSubBab); });
  return id;
}

void RecordDispatcher::Tail() {
  std::u16string end_marker;
  reader_.readNext(end_marker);
  captions_.Set(Control::kCurVol, Decimal(f_.CurVol));
  captions_.Set(Control::kCurBook, Decimal(f_.CurKtb));
  captions_.Set(Control::kCurChapter, Decimal(f_.CurBab));
  captions_.Set(Control::kBab, BoolText(f_.IsBab));
  captions_.Set(Control::kCurHadeeth, Decimal(f_.HadeethNo));
  captions_.Set(Control::kCurSubChapter, Decimal(f_.CurSubBab));
}

}  // namespace addbook
