// Where a Wine prefix keeps its files, and the native path of a Windows path
// inside it.
#ifndef ADDBOOK_APP_WINE_PATH_H_
#define ADDBOOK_APP_WINE_PATH_H_

#include <filesystem>
#include <string_view>

namespace addbook {

// The Wine prefix the host program runs in: $WINEPREFIX when set and not
// empty, else ~/.wine.  No trailing slash.
std::filesystem::path WinePrefix();

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
std::filesystem::path NativePath(std::u16string_view windows_path,
                                 const std::filesystem::path& prefix_dir);

}  // namespace addbook

#endif  // ADDBOOK_APP_WINE_PATH_H_
