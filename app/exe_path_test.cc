#include "app/exe_path.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace addbook {
namespace {

namespace fs = std::filesystem;

TEST(ExePathTest, FolderOfThisTestProgram) {
  const std::string dir = ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_NE(dir.back(), '/');
  EXPECT_TRUE(fs::is_regular_file(fs::path(dir) / "app_test"));
  // Independent of the folder the program was started from.
  const fs::path old = fs::current_path();
  fs::current_path("/");
  EXPECT_EQ(ExecutableDir(), dir);
  fs::current_path(old);
}

}  // namespace
}  // namespace addbook
