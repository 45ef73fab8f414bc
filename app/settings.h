// The host program's per-user application settings, and the paths stored in
// them.
//
// The host program keeps its settings where its platform's "application
// settings" calls put them: one string value per application, section and
// key.  On this platform the host runs under Wine, so the settings live in the
// Wine prefix's registry file, and the paths stored in them are Windows paths
// that have to be mapped onto the prefix's drives before they can be opened.
#ifndef ADDBOOK_APP_SETTINGS_H_
#define ADDBOOK_APP_SETTINGS_H_

#include <optional>
#include <string>
#include <string_view>

namespace addbook {

// One string value of the per-user application settings: application |app|,
// section |section|, value |key| (for example "Tessivar", "Settings", "Path").
// Returns the stored text unchanged, or |def| when the value is absent, is not
// a string, or the settings cannot be read.  Never throws.
std::u16string GetSetting(std::u16string_view app, std::u16string_view section,
                          std::u16string_view key, std::u16string_view def);

// The Wine prefix the host program runs in: $WINEPREFIX when set and not
// empty, else ~/.wine.  No trailing slash.
std::string WinePrefix();

// The string value |name| ("" for the key's default value) of the key
// |key_path| (backslash-separated, relative to the user's root key) in
// |file_text|, the text of a Wine registry file.  Key and value names match
// in any letter case.  nullopt when the text is not a Wine registry file, the
// key or the value is missing or damaged, or the value is not a string.
std::optional<std::u16string> FindRegistryString(std::string_view file_text,
                                                 std::u16string_view key_path,
                                                 std::u16string_view name);

// The native path of |windows_path| for the Wine prefix |prefix_dir|, found
// the way Wine finds it:
//   "C:\a\b" or "c:/a/b"  -> <prefix_dir>/dosdevices/c:/a/b
//   "\a\b" (no drive)     -> as on drive C:
//   "\\server\share\a"    -> <prefix_dir>/dosdevices/unc/server/share/a
//   "/a/b"                -> /a/b (already native)
//   "a\b" (relative)      -> a/b, relative to the current directory
// Each folder or file name that does not exist as written is matched in any
// letter case against the entries of its folder; a name that matches nothing
// is kept as written, and so is everything after it, so that opening the
// result fails naming the path.  "." and ".." are resolved by name, repeated
// separators collapse and trailing ones are dropped.  Never throws.
std::string NativePath(std::u16string_view windows_path, const std::string& prefix_dir);

}  // namespace addbook

#endif  // ADDBOOK_APP_SETTINGS_H_
