// INI files with the semantics of the Windows private-profile calls: names
// compared without case, first match wins, values trimmed, reads cut at the
// caller's size, writes replace in place or append, and the whole file
// written once through a temp file and rename.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

class Profile {
 public:
  Profile() = default;
  // Loads `path`; a missing file gives an empty profile bound to that path.
  explicit Profile(std::string path);

  // Re-reads the file; false when it exists but cannot be read.
  bool reload();
  const std::string& path() const { return path_; }
  bool exists() const { return existed_; }

  // Value of section/key, else `def`; cut to size - 1 bytes (size 0 gives "").
  std::string getString(std::string_view section, std::string_view key, std::string_view def,
                        size_t size) const;
  // Leading decimal number of the value (sign allowed), else `def`.
  int getInt(std::string_view section, std::string_view key, int def) const;
  bool hasKey(std::string_view section, std::string_view key) const;
  bool hasSection(std::string_view section) const;
  std::vector<std::string> sectionNames() const;
  std::vector<std::string> keyNames(std::string_view section) const;

  // Replaces the first matching key in place, else appends it to the end of
  // its section, else adds the section at the end of the file.
  void setString(std::string_view section, std::string_view key, std::string_view value);
  void setInt(std::string_view section, std::string_view key, long value);
  void removeKey(std::string_view section, std::string_view key);
  void removeSection(std::string_view section);
  // Empties the section's lines but keeps its header.
  void clearSection(std::string_view section);

  bool dirty() const { return dirty_; }
  // Writes the file once (temp file + rename) when changed; false on error,
  // in which case the old file is untouched.
  bool save();
  // The text the file would hold now.
  std::string text() const;

 private:
  struct Line {
    std::string raw;  // without the line ending
  };
  std::string path_;
  std::vector<Line> lines_;
  bool crlf_ = true;
  bool existed_ = false;
  bool dirty_ = false;
  bool finalNewline_ = true;
};

// One-shot helpers, each a whole read or a whole read-modify-write.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view def, size_t size);
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int def);
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace lark
