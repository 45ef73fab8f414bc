// The settings store on Windows: the registry, read back as the host's own
// settings calls wrote it.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/settings.h"

namespace addbook {
namespace {

TEST(SettingsWin32Test, ReadsTheHostsValue) {
  const wchar_t* key = L"Software\\VB and VBA Program Settings\\AddbookTest\\Settings";
  const std::wstring folder = L"C:\\Varnel Data\\\u0645\u0643\u062A\u0628\\";
  HKEY handle = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExW(handle, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                     static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
      ERROR_SUCCESS);
  const DWORD number = 7;
  RegSetValueExW(handle, L"Left", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof number);
  RegCloseKey(handle);

  EXPECT_EQ(GetSetting(u"AddbookTest", u"Settings", u"Path", u"NONE"),
            u"C:\\Varnel Data\\\u0645\u0643\u062A\u0628\\");
  EXPECT_EQ(GetSetting(u"addbooktest", u"SETTINGS", u"path", u"NONE"),
            u"C:\\Varnel Data\\\u0645\u0643\u062A\u0628\\");  // names in any case
  EXPECT_EQ(GetSetting(u"AddbookTest", u"Settings", u"Left", u"NONE"), u"NONE");  // not a string
  EXPECT_EQ(GetSetting(u"AddbookTest", u"Settings", u"Missing", u"NONE"), u"NONE");
  EXPECT_EQ(GetSetting(u"AddbookTest", u"Other", u"Path", u"NONE"), u"NONE");
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\AddbookTest");
}

}  // namespace
}  // namespace addbook
