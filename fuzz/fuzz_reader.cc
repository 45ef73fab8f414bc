// The source file reader and the record reader over arbitrary bytes: the
// file is primed and read record by record until the reader says it is used
// up.  Each call consumes at least one item or reports the end, so a file of
// n bytes must be used up within n + 3 calls; more means the reader loops.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/recording_display.h"
#include "fuzz/fuzz_util.h"
#include "source/record_reader.h"
#include "source/source_file.h"

using namespace addbook;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzz::ScratchFolder("reader") + "/h1.txt";
  fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

  ReaderFields fields;
  FileTable files;
  RecordingDisplay display;
  RecordReader reader(fields, files, display);
  fields.FileNo = files.FreeFile();
  files.Open(fields.FileNo, path);

  size_t calls = 0;
  while (!reader.Exhausted()) {
    fuzz::Check(++calls <= size + 3, "the reader never reaches the end of the file");
    std::u16string end_marker;
    reader.readNext(end_marker);
    // Before the end of the file every call collects at least the look-ahead
    // line.
    fuzz::Check(reader.Exhausted() || !fields.RecText.empty(),
                "an empty record before the end of the file");
  }
  // Once used up, the reader delivers nothing new.
  std::u16string last = fields.RecText;
  std::u16string end_marker;
  reader.readNext(end_marker);
  fuzz::Check(fields.RecText.empty() || fields.RecText == last, "a record after the end");
  // The only box a source text can cause is the overflow of a long number.
  for (const auto& box : display.boxes()) {
    fuzz::Check(box.prompt == u"Overflow", "an unexpected box");
  }
  return 0;
}
