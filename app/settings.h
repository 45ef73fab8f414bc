// The host program's per-user application settings: one string value per
// application, section and key, where the platform's "application settings"
// calls keep them (the registry on Windows; Wine's registry file on Linux,
// where the host runs under Wine).
#ifndef ADDBOOK_APP_SETTINGS_H_
#define ADDBOOK_APP_SETTINGS_H_

#include <string>
#include <string_view>

namespace addbook {

// One string value of the per-user application settings: application |app|,
// section |section|, value |key| (for example "Tessivar", "Settings", "Path").
// Returns the stored text unchanged, or |def| when the value is absent, is not
// a string, or the settings cannot be read.  Never throws.
std::u16string GetSetting(std::u16string_view app, std::u16string_view section,
                          std::u16string_view key, std::u16string_view def);

}  // namespace addbook

#endif  // ADDBOOK_APP_SETTINGS_H_
