// Helpers the engine's tests share: the Access fixtures copied to a folder of
// the test's own, and bytes shown as hex.
#ifndef ADDBOOK_DB_JET_JET_TEST_UTIL_H_
#define ADDBOOK_DB_JET_JET_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace addbook::jet {

// The folder of the fixture files and their dumps; tests skip without it.
inline const std::filesystem::path kFixtures = ADDBOOK_JET_FIXTURES;

// The running test's own folder under the temporary one, emptied.
inline std::filesystem::path TestFolder() {
  const std::filesystem::path folder =
      std::filesystem::path(testing::TempDir()) /
      (std::string("jet_") + testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// A writable copy of the fixture |name| in |folder|.
inline std::filesystem::path CopyFixture(const std::filesystem::path& name,
                                         const std::filesystem::path& folder) {
  const std::filesystem::path copy = folder / name.filename();
  std::filesystem::copy_file(kFixtures / name, copy,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return copy;
}

// |bytes| as lowercase hex.
inline std::string Hex(std::string_view bytes) {
  std::string hex;
  for (const unsigned char c : bytes)
    hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return hex;
}

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_JET_TEST_UTIL_H_
