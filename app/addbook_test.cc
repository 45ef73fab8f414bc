// The real executable, run as a user runs it.
#include <gtest/gtest.h>

#include "app/run_addbook_test_util.h"

namespace addbook {
namespace {

TEST(AddbookTest, ImportsTheSampleBookOnce) {
  Installation inst;
  EXPECT_EQ(inst.Run(), 0) << inst.err;
  EXPECT_EQ(inst.out, "Adding Book, Please Wait ...\nMust Have Varnel Version 2.88 or Later\n");
  // Standard error holds only the closing summary.
  EXPECT_EQ(inst.err.rfind("addbook: import finished; 26 records handled, ", 0), 0u) << inst.err;
  EXPECT_EQ(inst.err.find('\n'), inst.err.size() - 1) << inst.err;
  // One book, 9 headings, 6 hadeeths, each under a heading, with short vowels
  // stripped and alef forms folded.
  EXPECT_EQ(inst.host.Value("SELECT (SELECT count(*) FROM Books) || (SELECT count(*) FROM Titles) "
                            "|| count(*) FROM Hadeeths WHERE TitleID <> -1 AND Hadeeth NOT GLOB "
                            "'*[ًٌٍَُِّْأإآ]*'"),
            "196");

  EXPECT_EQ(inst.Run(), 2);
  EXPECT_NE(inst.err.find("Adding Book: This Book is Already Installed\n"), std::string::npos)
      << inst.err;
  EXPECT_EQ(inst.host.Value("SELECT count(*) FROM Hadeeths"), "6");
}

// Runs that add nothing: asked for help or the version, given an argument it
// does not take, or missing its settings or its book.
TEST(AddbookTest, RunsThatAddNothing) {
  const struct {
    const char *args, *removed;
    int status;
    std::string out, err;  // how they begin; an empty |out| is all of it
  } cases[] = {
      {"--help", "", 0, "Usage: addbook", ""},
      {"--version", "", 0, "addbook ", ""},
      {"--frobnicate", "", 2, "", "addbook: unexpected argument '--frobnicate'\nUsage: "},
      {"--engine=jet", "", 2, "", "addbook: unexpected argument '--engine=jet'\nUsage: "},
      {"", "/prefix/user.reg", 2, "Adding Book",
       "Adding Book: Upgrade Varnel Program, and try again\naddbook: refused"},
      {"", "/bin/h1.txt", 2, "Adding Book", "Adding Book: 53: File not found: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.args) + c.removed);
    Installation inst;
    if (*c.removed) std::filesystem::remove(inst.root + c.removed);
    EXPECT_EQ(inst.Run(c.args), c.status);
    EXPECT_EQ(inst.out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(inst.out.empty(), c.out.empty()) << inst.out;
    EXPECT_EQ(inst.err.rfind(c.err, 0), 0u) << inst.err;
    if (std::string(c.removed) == "/bin/h1.txt") {  // the message names the missing file
      EXPECT_NE(inst.err.find(inst.root + c.removed + "\n"), std::string::npos) << inst.err;
    }
    EXPECT_EQ(inst.host.Value("SELECT count(*) FROM Books"), "0");
  }
}

}  // namespace
}  // namespace addbook
