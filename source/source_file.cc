// Source text format
// ==================
//
// The book is 8-bit text in Windows-1256.  Each byte stands for one
// character (see kHighHalf below); the delimiters are all ASCII, so items are
// found on the bytes and decoded afterwards.
//
// The text is a sequence of lines, each a sequence of items:
//
//   file     := (line line-end)* [line]
//   line-end := CR LF | LF | CR             CR LF is one line end, not two
//   line     := item ("," item)*
//   item     := blank* (quoted | plain)
//   blank    := SPACE | TAB
//   plain    := (any byte but "," CR LF)*
//   quoted   := '"' (any byte but '"' CR LF)* ['"' plain]
//
// Only the comma U+002C delimits; the Arabic comma U+060C is an ordinary
// character.  A delimiter (comma or line end) is used up and belongs to
// neither item.
//
// Blanks.  Spaces and tabs in front of an item are skipped.  Blanks after the
// text of an item are kept: they are part of the text.  Skipping never passes
// a line end, so a line of blanks gives one empty item.
//
// Quotes.  An item whose first character (after the blanks) is '"' runs to
// the next '"'; neither mark is part of the item and commas between them
// belong to it.  Text between the closing mark and the next delimiter is
// appended to the item as it stands, so nothing typed is lost:
//   "a, b"c d,e   gives   a, bc d   and   e
// A mark that is never closed ends at the line end and is dropped: a quote
// never joins lines or swallows the rest of the file.  A '"' anywhere but
// first in an item is an ordinary character.
//
// Empty items.  An empty line gives one empty item.  A comma just before a
// line end gives an empty item after it ("a,<CR LF>" is "a" then ""), but a
// comma that is the last byte of the file does not ("a," is "a" then the end).
//
// End.  The last line needs no line end.  A file that ends with a line end
// has no empty item after it.  The end of the file is reached when nothing is
// left: the last item and the line end behind it, if any, have been read.  An
// empty file has no items.
//
// NUL bytes decode to U+0000 and stay in the item like any other character.
//
// The file is read through one fixed-size buffer; an item is decoded straight
// from the buffer into the string returned, so memory is bounded by the
// longest item and every byte is looked at once.
#include "source/source_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/code_page.h"
#include "base/error.h"
#include "base/file.h"
#include "base/text.h"

namespace addbook {
namespace {

constexpr size_t kChunkSize = 64 * 1024;

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::unique_ptr<SourceFile> SourceFile::Open(const std::filesystem::path& path) {
  const std::string shown = PathToUtf8(path);
  // A folder opens for reading on some systems and fails only at the first
  // read; refuse it here so that every open failure shows at the open.  A
  // pipe or a device is refused too: opening a pipe blocks until someone
  // writes to it, and a device such as /dev/zero never ends.
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) {
    throw errors::PathFileAccess(shown, std::strerror(EISDIR));
  }
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw errors::PathFileAccess(shown, "not a regular file");
  }
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) {
    int err = errno;
    if (err == ENOENT) throw errors::FileNotFound(shown);
    throw errors::PathFileAccess(shown, std::strerror(err));
  }
  // The chunk buffer is the only buffer: reads go straight into it.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return std::unique_ptr<SourceFile>(new SourceFile(file, shown));
}

SourceFile::SourceFile(std::FILE* file, std::string path)
    : file_(file), path_(std::move(path)), buffer_(kChunkSize) {}

SourceFile::~SourceFile() { std::fclose(file_); }

bool SourceFile::Fill() {
  if (pos_ < end_) return true;
  if (eof_) return false;
  size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  if (n == 0) {
    if (std::ferror(file_)) {
      // A read that failed fails again (a failing disk): the run ends here
      // rather than report the same error at every record.
      int err = errno;
      throw FatalError(FatalError::Kind::kSourceUnreadable,
                       errors::PathFileAccess(path_, std::strerror(err != 0 ? err : EIO)));
    }
    eof_ = true;
    return false;
  }
  pos_ = 0;
  end_ = n;
  return true;
}

bool SourceFile::AtEnd() { return !Fill(); }

bool SourceFile::AppendUntil(std::u16string& item, char stop_a, char stop_b) {
  // One table look-up per byte finds the stop.
  bool stops[256] = {};
  stops[static_cast<unsigned char>(stop_a)] = true;
  stops[static_cast<unsigned char>(stop_b)] = true;
  stops[static_cast<unsigned char>('\r')] = stops[static_cast<unsigned char>('\n')] = true;
  while (Fill()) {
    const unsigned char* data = buffer_.data();
    size_t stop = pos_;
    while (stop < end_ && !stops[data[stop]]) ++stop;
    size_t old = item.size();
    item.resize(old + (stop - pos_));
    char16_t* out = item.data() + old;
    for (size_t i = pos_; i < stop; ++i) *out++ = DecodeCp1256(data[i]);
    pos_ = stop;
    if (stop < end_) return true;
  }
  return false;
}

void SourceFile::SkipLineEnd() {
  if (!Fill()) return;
  if (buffer_[pos_] == '\r') {
    ++pos_;
    if (Fill() && buffer_[pos_] == '\n') ++pos_;
  } else if (buffer_[pos_] == '\n') {
    ++pos_;
  }
}

std::u16string SourceFile::ReadItem() {
  if (AtEnd()) throw errors::InputPastEnd();
  std::u16string item;
  while (Fill() && IsBlank(buffer_[pos_])) ++pos_;
  if (!Fill()) return item;
  if (buffer_[pos_] == '"') {
    ++pos_;
    if (!AppendUntil(item, '"', '"')) return item;
    if (buffer_[pos_] != '"') {  // never closed: the line end ends it
      SkipLineEnd();
      return item;
    }
    ++pos_;
  }
  if (!AppendUntil(item, ',', ',')) return item;
  if (buffer_[pos_] == ',') {
    ++pos_;
  } else {
    SkipLineEnd();
  }
  return item;
}

int32_t FileTable::FreeFile() const {
  int32_t no = 1;
  for (const auto& [open_no, file] : files_) {
    if (open_no > no) break;
    if (open_no == no) ++no;
  }
  return no;
}

void FileTable::Open(int32_t no, const std::filesystem::path& path) {
  std::unique_ptr<SourceFile> file = SourceFile::Open(path);
  files_[no] = std::move(file);
}

void FileTable::Close(int32_t no) { files_.erase(no); }

SourceFile& FileTable::Get(int32_t no) {
  auto it = files_.find(no);
  if (it == files_.end()) throw errors::BadFileNumber();
  return *it->second;
}

}  // namespace addbook
