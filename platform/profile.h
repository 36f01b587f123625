// INI files with the semantics of the Windows private-profile calls: names
// compared without case, first match wins, values trimmed, reads cut at the
// caller's size, writes replace in place or append, and the whole file
// written once through a temp file and rename.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lark {

class Profile {
 public:
  Profile() = default;
  // Loads `path`; a missing file gives an empty profile bound to that path.
  explicit Profile(std::string path);

  // Re-reads the file; false when it exists but cannot be read.
  bool reload();
  // Replaces the contents with `text` as if read from the file (unsaved).
  void loadText(std::string_view text);
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
  // in which case the old file is untouched. Refused after a failed read, so
  // a file that could not be read is never replaced by a partial one.
  bool save();
  // The text the file would hold now.
  std::string text() const;

  // Called by save() after the temp file is written and synced, just before
  // the rename; returning false abandons the save (tests use it to stand for
  // a crash or a full disk at that moment).
  void setBeforeRenameHook(std::function<bool()> hook) { beforeRename_ = std::move(hook); }

 private:
  enum class Kind { kOther, kSection, kKey };
  struct Line {
    std::string raw;  // without the line ending
    Kind kind = Kind::kOther;
    std::string name;          // section or key name, trimmed
    std::string value;         // key value, trimmed, one pair of quotes removed
    bool keysIndexed = false;  // a section header whose keys are in keyIndex_
  };
  static Line parseLine(std::string raw);
  // Index of the first header named `section`, or npos.
  size_t findSection(std::string_view section) const;
  // One past the section's last line (the next header or the end).
  size_t sectionEnd(size_t header) const;
  size_t findKey(size_t header, std::string_view key) const;
  // Lookups in a large file (a map with thousands of sections) go through an
  // index built on load and save; after a write that moves lines it is
  // stale and lookups scan, which stays correct.
  void rebuildIndex();
  std::unordered_map<std::string, size_t> sectionIndex_;  // lower-case name -> first header
  std::unordered_map<std::string, size_t> keyIndex_;      // see KeyId() -> first key line
  bool indexed_ = false;
  std::string path_;
  std::vector<Line> lines_;
  bool crlf_ = true;
  bool existed_ = false;
  bool dirty_ = false;
  bool finalNewline_ = true;
  bool loadFailed_ = false;  // the file exists but could not be read: never overwrite it
  bool bom_ = false;         // a UTF-8 byte order mark before the first line, kept
  std::function<bool()> beforeRename_;
};

// One-shot helpers, each a whole read or a whole read-modify-write.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view def, size_t size);
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int def);
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace lark
