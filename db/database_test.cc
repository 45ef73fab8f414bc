#include "db/database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/recording_display.h"
#include "base/text.h"
#include "db/test_host.h"

namespace addbook {
namespace {

// What the user sees when Hadeeth.mdb cannot be opened for writing: one
// critical box.  Nothing is created.
TEST(DatabaseTest, OpenFailures) {
  enum Setup { kBytes, kMissing, kFolder };
  // |bytes| are written as Hadeeth.mdb for kBytes.
  const std::tuple<Setup, std::string, std::string, std::string> rows[] = {
      {kMissing, "", "3024", "No such file or directory"},
      {kFolder, "", "3051", "it is a folder, not a file"},
      {kBytes, "", "3343", "the file is empty, not a database"},
      {kBytes, "Name,Author\r\n", "3343",
       "it is not a database (it begins with neither a SQLite 3 nor an Access header)"},
      {kBytes, std::string("SQLite format 3\0", 16) + std::string(200, '\x7f'), "3343",
       "file is not a database (SQLite error 26)"},
  };
  for (const auto& [setup, bytes, number, reason] : rows) {
    TestHost host(TestHost::Contents::kNothing);
    if (setup == kFolder) std::filesystem::create_directory(host.file());
    if (setup == kBytes) std::ofstream(host.file(), std::ios::binary) << bytes;
    const std::u16string sep = host.sep();
    RecordingDisplay display;
    Database db(display, sep);
    int16_t no = 7;
    EXPECT_FALSE(db.OpenDb(no));
    ASSERT_EQ(display.boxes().size(), 1u);
    EXPECT_EQ(Utf16ToUtf8((display.boxes()[0].style == BoxStyle::kCritical ? u"critical|" : u"|") +
                          display.boxes()[0].title + u"|" + display.boxes()[0].prompt),
              "critical|DB Error  ( 0 )|" + number + " Cannot open the database file " +
                  host.file() + ": " + reason);
    EXPECT_EQ(std::filesystem::exists(host.file()), setup != kMissing);
  }
}

}  // namespace
}  // namespace addbook
