// Wine's registry files: finding one string value in the text of user.reg.
// The format is described at the top of wine_registry.cc.
#ifndef ADDBOOK_APP_WINE_REGISTRY_H_
#define ADDBOOK_APP_WINE_REGISTRY_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace addbook {

// Finds one string value while it is fed the lines of a registry file in
// order, so that a file is never held whole.
class RegistryScanner {
 public:
  // Looks for value |name| of key |key_path| (as FindRegistryString below).
  RegistryScanner(std::u16string_view key_path, std::u16string_view name);

  // Takes the next line, without its line end.  Returns false once the text
  // is known not to be a registry file: further lines change nothing.
  bool Feed(std::string_view line);

  // The value, once every line has been fed.
  const std::optional<std::u16string>& value() const { return value_; }

 private:
  void ValueLine(std::string_view line);

  std::vector<std::u16string> key_;
  std::u16string name_;
  bool header_seen_ = false;
  bool rejected_ = false;
  bool in_key_ = false;        // the lines now read belong to the key looked for
  bool continuation_ = false;  // the next line goes on with the data of a value
  std::optional<std::u16string> value_;
};

// The string value |name| ("" for the key's default value) of the key
// |key_path| (backslash-separated, relative to the user's root key) in
// |file_text|, the text of a Wine registry file.  Key and value names match
// in any letter case.  nullopt when the text is not a Wine registry file, the
// key or the value is missing or damaged, or the value is not a string.
std::optional<std::u16string> FindRegistryString(std::string_view file_text,
                                                 std::u16string_view key_path,
                                                 std::u16string_view name);

}  // namespace addbook

#endif  // ADDBOOK_APP_WINE_REGISTRY_H_
