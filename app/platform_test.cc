#include "app/platform.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace addbook {
namespace {

TEST(PlatformTest, FolderOfThisTestProgram) {
  EXPECT_TRUE(std::filesystem::is_regular_file(ExecutableDir() / ("app_test" ADDBOOK_EXE_SUFFIX)));
}

}  // namespace
}  // namespace addbook
