// The registry stand-in: string values under key paths ("SysTray",
// "Audio", "Main"), kept as files under a state folder and safe between
// processes (flock on the key, writes by rename).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace lark {

inline constexpr const char* kSystemStateDir = "/var/lib/larkcore";

// The folder is made 2770 and its files 0660 with the folder's group, so the
// service and the desktop users of its group share one store.
class KeyStore {
 public:
  explicit KeyStore(std::string dir);
  // LARK_STATE_DIR, else /var/lib/larkcore for root and for users who may
  // write it, else $XDG_STATE_HOME/larkcore (or ~/.local/state/larkcore).
  static std::string DefaultDir();

  const std::string& dir() const { return dir_; }
  // Creates the key when missing.
  bool createKey(std::string_view key);
  std::optional<std::string> read(std::string_view key, std::string_view name) const;
  bool write(std::string_view key, std::string_view name, std::string_view value);
  bool remove(std::string_view key, std::string_view name);
  // Reads the value and deletes it in one step; nullopt when absent.
  std::optional<std::string> takeAndClear(std::string_view key, std::string_view name);
  // Reads the value and leaves it empty in one step, creating it empty when
  // missing; nullopt when it was missing or could not be read.
  std::optional<std::string> readAndEmpty(std::string_view key, std::string_view name);
  // Path of a file in the store beside the key, made with the store's mode
  // and group, for a process to hold one value by an flock on it.
  std::string sharedFile(std::string_view key, std::string_view name);
  // Appends `text` to the value (creating it), optionally refusing to grow
  // past `maxLen` bytes (0 = no limit). False when refused or on error.
  bool append(std::string_view key, std::string_view name, std::string_view text,
              size_t maxLen = 0);

 private:
  std::string dir_;
};

}  // namespace lark
