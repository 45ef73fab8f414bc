// Application settings on Windows: the platform's "application settings"
// calls keep value <key> of <app>/<section> in the registry key
//   HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>
// as a string (REG_SZ).  Read with RegGetValueW, wide, so Arabic folder names
// come back whole.
#include <windows.h>

#include <string>

#include "app/settings.h"
#include "base/text.h"

namespace addbook {

std::u16string GetSetting(std::u16string_view app, std::u16string_view section,
                          std::u16string_view key, std::u16string_view def) {
  const std::wstring subkey =
      L"Software\\VB and VBA Program Settings\\" + Utf16ToWide(app) + L"\\" + Utf16ToWide(section);
  const std::wstring value = Utf16ToWide(key);
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr,
                   nullptr, &bytes) != ERROR_SUCCESS) {
    return std::u16string(def);
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr,
                   text.data(), &bytes) != ERROR_SUCCESS) {
    return std::u16string(def);
  }
  // The size counts the terminating NUL; the text is what stands before the
  // first one, as the settings calls return it.
  text.resize(wcsnlen(text.c_str(), text.size()));
  return WideToUtf16(text);
}

}  // namespace addbook
