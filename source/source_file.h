// Sequential input from the book's text file: numbered open files, each read
// one item at a time and decoded from Windows-1256.  The item grammar is
// described at the top of source_file.cc.
#ifndef ADDBOOK_SOURCE_SOURCE_FILE_H_
#define ADDBOOK_SOURCE_SOURCE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace addbook {

// One file open for sequential input.  Reads in fixed-size chunks, so memory
// stays bounded by the longest item whatever the size of the file.
class SourceFile {
 public:
  // Opens the file at |path|.  Throws errors::FileNotFound
  // when it does not exist and errors::PathFileAccess when it cannot be read
  // for any other reason (a folder, a pipe or a device, no permission).
  static std::unique_ptr<SourceFile> Open(const std::filesystem::path& path);

  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  // True once nothing is left to read: the last item and the line end behind
  // it, if any, have been read.  Throws FatalError (an errors::PathFileAccess
  // inside) on a read error.
  bool AtEnd();

  // Reads and returns the next item, its delimiter used up.  Throws
  // errors::InputPastEnd when AtEnd(), FatalError on a read error.
  std::u16string ReadItem();

 private:
  SourceFile(std::FILE* file, std::string path);

  // Makes at least one unread byte available unless the file is exhausted;
  // returns false when it is.
  bool Fill();
  // Appends the bytes up to the first of |stop_a|, |stop_b|, CR or LF to
  // |item|, decoded, and leaves that byte unread.  Returns false when the file
  // ends first.
  bool AppendUntil(std::u16string& item, char stop_a, char stop_b);
  // Uses up the line end (CR LF, LF or CR) at the read position.
  void SkipLineEnd();

  std::FILE* file_;
  std::string path_;  // as shown in messages
  std::vector<unsigned char> buffer_;
  size_t pos_ = 0;  // next unread byte in buffer_
  size_t end_ = 0;  // one past the last valid byte in buffer_
  bool eof_ = false;
};

// The program's numbered open files.  Numbers are positive; FreeFile hands out
// the lowest one not in use.
class FileTable {
 public:
  // The lowest number not open, starting at 1.
  int32_t FreeFile() const;

  // Opens |path| under |no|, replacing whatever was open under it.  Throws as
  // SourceFile::Open does; what was open under |no| then stays open.
  void Open(int32_t no, const std::filesystem::path& path);

  // Closes |no|; a number that is not open is left alone.
  void Close(int32_t no);

  // The file open under |no|.  Throws errors::BadFileNumber when none is.
  SourceFile& Get(int32_t no);

 private:
  std::map<int32_t, std::unique_ptr<SourceFile>> files_;
};

}  // namespace addbook

#endif  // ADDBOOK_SOURCE_SOURCE_FILE_H_
