#include "platform/profile.h"

#include <cstdint>

#include "platform/paths.h"
#include "platform/text.h"

namespace lark {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string LowerTrimmed(std::string_view s) {
  s = Trim(s);
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// Index key of a key name in a section (both lower-case); the length prefix
// keeps any bytes in the names from running together.
std::string KeyId(std::string_view lowerSection, std::string_view lowerKey) {
  std::string id = std::to_string(lowerSection.size());
  id += ':';
  id += lowerSection;
  id += lowerKey;
  return id;
}

// A name that could not be read back as written (it would end the line,
// close the header or split at '=') is refused rather than written.
bool IsWritableSection(std::string_view s) {
  s = Trim(s);
  if (s.empty()) return false;
  for (char c : s) {
    if (c == '\r' || c == '\n' || c == ']' || c == '\0') return false;
  }
  return true;
}

bool IsWritableKey(std::string_view k) {
  k = Trim(k);
  if (k.empty() || k.front() == '[' || k.front() == ';') return false;
  for (char c : k) {
    if (c == '\r' || c == '\n' || c == '=' || c == '\0') return false;
  }
  return true;
}

// A value stops at a line end: what follows it would become lines of its
// own (a forged section or key), so it is not written.
std::string_view OneLine(std::string_view v) {
  size_t end = v.find_first_of(std::string_view("\r\n\0", 3));
  return end == std::string_view::npos ? v : v.substr(0, end);
}

}  // namespace

Profile::Profile(std::string path) : path_(std::move(path)) { reload(); }

Profile::Line Profile::parseLine(std::string raw) {
  Line line;
  line.raw = std::move(raw);
  std::string_view s = Trim(line.raw);
  if (s.empty() || s.front() == ';') return line;
  if (s.front() == '[') {
    size_t close = s.rfind(']');
    if (close == std::string_view::npos) return line;
    line.kind = Kind::kSection;
    line.name = std::string(Trim(s.substr(1, close - 1)));
    return line;
  }
  size_t eq = s.find('=');
  if (eq == std::string_view::npos) return line;
  std::string_view name = Trim(s.substr(0, eq));
  if (name.empty()) return line;
  std::string_view value = Trim(s.substr(eq + 1));
  // One pair of surrounding quotes is dropped, as the profile reader does.
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  line.kind = Kind::kKey;
  line.name = std::string(name);
  line.value = std::string(value);
  return line;
}

bool Profile::reload() {
  auto data = path_.empty() ? std::nullopt : ReadFile(path_);
  if (!data) {
    // A missing file is an empty profile; one that exists but cannot be read
    // is an error, and the lines held so far are kept.
    existed_ = !path_.empty() && FileExists(path_);
    if (existed_) {
      loadFailed_ = true;
      return false;
    }
    loadText("");
    return true;
  }
  existed_ = true;
  loadText(*data);
  return true;
}

void Profile::loadText(std::string_view text) {
  lines_.clear();
  dirty_ = false;
  loadFailed_ = false;
  bom_ = text.substr(0, kBom.size()) == kBom;
  if (bom_) text.remove_prefix(kBom.size());
  size_t firstLf = text.find('\n');
  crlf_ = firstLf == std::string_view::npos || (firstLf > 0 && text[firstLf - 1] == '\r');
  finalNewline_ = text.empty() || text.back() == '\n';
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    size_t stop = end;
    // Stray CRs before the line end go with it, so text written reads back the same.
    while (stop > start && text[stop - 1] == '\r') --stop;
    lines_.push_back(parseLine(std::string(text.substr(start, stop - start))));
    start = end + 1;
  }
  rebuildIndex();
}

void Profile::rebuildIndex() {
  // Keys are indexed only in large sections: a scan of a few dozen lines is
  // as quick as a lookup, and a map holds many thousands of small sections.
  constexpr size_t kScannedLines = 64;
  sectionIndex_.clear();
  keyIndex_.clear();
  size_t header = std::string::npos;  // the section being read, when it is the first of its name
  std::string current;                // its lower-case name
  for (size_t i = 0; i <= lines_.size(); ++i) {
    if (i < lines_.size() && lines_[i].kind != Kind::kSection) continue;
    if (header != std::string::npos && i - header > kScannedLines) {
      lines_[header].keysIndexed = true;
      for (size_t k = header + 1; k < i; ++k) {
        if (lines_[k].kind == Kind::kKey)
          keyIndex_.emplace(KeyId(current, LowerTrimmed(lines_[k].name)), k);
      }
    }
    if (i == lines_.size()) break;
    lines_[i].keysIndexed = false;
    current = LowerTrimmed(lines_[i].name);
    header = sectionIndex_.emplace(current, i).second ? i : std::string::npos;
  }
  indexed_ = true;
}

size_t Profile::findSection(std::string_view section) const {
  if (indexed_) {
    auto it = sectionIndex_.find(LowerTrimmed(section));
    return it == sectionIndex_.end() ? std::string::npos : it->second;
  }
  std::string_view want = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::kSection && EqualNoCase(lines_[i].name, want)) return i;
  }
  return std::string::npos;
}

size_t Profile::sectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Kind::kSection) ++i;
  return i;
}

size_t Profile::findKey(size_t header, std::string_view key) const {
  if (indexed_ && lines_[header].keysIndexed) {
    auto it = keyIndex_.find(KeyId(LowerTrimmed(lines_[header].name), LowerTrimmed(key)));
    return it == keyIndex_.end() ? std::string::npos : it->second;
  }
  std::string_view want = Trim(key);
  size_t end = sectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Kind::kKey && EqualNoCase(lines_[i].name, want)) return i;
  }
  return std::string::npos;
}

std::string Profile::getString(std::string_view section, std::string_view key, std::string_view def,
                               size_t size) const {
  if (size == 0) return "";
  std::string_view value = def;
  size_t header = findSection(section);
  if (header != std::string::npos) {
    size_t at = findKey(header, key);
    if (at != std::string::npos) value = lines_[at].value;
  }
  if (value.size() > size - 1) value = value.substr(0, size - 1);
  return std::string(value);
}

int Profile::getInt(std::string_view section, std::string_view key, int def) const {
  size_t header = findSection(section);
  if (header == std::string::npos) return def;
  size_t at = findKey(header, key);
  if (at == std::string::npos) return def;
  std::string_view v = lines_[at].value;
  // An empty value reads as missing; text without leading digits reads 0.
  if (v.empty()) return def;
  size_t i = 0;
  bool negative = false;
  if (v[i] == '-' || v[i] == '+') negative = v[i++] == '-';
  uint32_t n = 0;  // wraps like the 32-bit conversion it stands for
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    n = n * 10u + static_cast<uint32_t>(v[i] - '0');
  }
  if (negative) n = 0u - n;
  return static_cast<int>(n);
}

bool Profile::hasKey(std::string_view section, std::string_view key) const {
  size_t header = findSection(section);
  return header != std::string::npos && findKey(header, key) != std::string::npos;
}

bool Profile::hasSection(std::string_view section) const {
  return findSection(section) != std::string::npos;
}

std::vector<std::string> Profile::sectionNames() const {
  std::vector<std::string> out;
  for (const Line& line : lines_) {
    if (line.kind != Kind::kSection) continue;
    bool seen = false;
    for (const std::string& s : out) seen = seen || EqualNoCase(s, line.name);
    if (!seen) out.push_back(line.name);
  }
  return out;
}

std::vector<std::string> Profile::keyNames(std::string_view section) const {
  std::vector<std::string> out;
  size_t header = findSection(section);
  if (header == std::string::npos) return out;
  size_t end = sectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind != Kind::kKey) continue;
    bool seen = false;
    for (const std::string& s : out) seen = seen || EqualNoCase(s, lines_[i].name);
    if (!seen) out.push_back(lines_[i].name);
  }
  return out;
}

void Profile::setString(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsWritableSection(section) || !IsWritableKey(key)) return;
  value = OneLine(value);
  size_t header = findSection(section);
  if (header == std::string::npos) {
    lines_.push_back(parseLine("[" + std::string(Trim(section)) + "]"));
    header = lines_.size() - 1;
    if (indexed_) sectionIndex_.emplace(LowerTrimmed(section), header);
    finalNewline_ = true;
  }
  size_t at = findKey(header, key);
  if (at != std::string::npos) {
    // Keep the name as the file spells it; only the value changes.
    std::string raw = lines_[at].name + "=" + std::string(value);
    if (raw == lines_[at].raw) return;
    lines_[at] = parseLine(std::move(raw));
    dirty_ = true;
    return;
  }
  // After the section's last key, so blank lines and comments that separate
  // it from the next section stay where they are.
  size_t insert = header + 1;
  size_t end = sectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Kind::kKey) insert = i + 1;
  }
  if (insert == lines_.size()) {
    finalNewline_ = true;
    if (indexed_) keyIndex_.emplace(KeyId(LowerTrimmed(section), LowerTrimmed(key)), insert);
  } else {
    indexed_ = false;  // later lines moved
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert),
                parseLine(std::string(Trim(key)) + "=" + std::string(value)));
  dirty_ = true;
}

void Profile::setInt(std::string_view section, std::string_view key, long value) {
  setString(section, key, std::to_string(value));
}

void Profile::removeKey(std::string_view section, std::string_view key) {
  size_t header = findSection(section);
  if (header == std::string::npos) return;
  size_t at = findKey(header, key);
  if (at == std::string::npos) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
  indexed_ = false;
  dirty_ = true;
}

void Profile::removeSection(std::string_view section) {
  size_t header = findSection(section);
  if (header == std::string::npos) return;
  size_t end = sectionEnd(header);
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
               lines_.begin() + static_cast<std::ptrdiff_t>(end));
  indexed_ = false;
  dirty_ = true;
}

void Profile::clearSection(std::string_view section) {
  size_t header = findSection(section);
  if (header == std::string::npos) return;
  size_t end = sectionEnd(header);
  if (end == header + 1) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header + 1),
               lines_.begin() + static_cast<std::ptrdiff_t>(end));
  indexed_ = false;
  dirty_ = true;
}

std::string Profile::text() const {
  const char* eol = crlf_ ? "\r\n" : "\n";
  std::string out;
  if (bom_) out += kBom;
  for (size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].raw;
    if (i + 1 < lines_.size() || finalNewline_) out += eol;
  }
  return out;
}

bool Profile::save() {
  if (!dirty_) return true;
  if (path_.empty() || loadFailed_) return false;
  if (!WriteFileAtomic(path_, text(), beforeRename_)) return false;
  dirty_ = false;
  existed_ = true;
  if (!indexed_) rebuildIndex();
  return true;
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view def, size_t size) {
  return Profile(path).getString(section, key, def, size);
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int def) {
  return Profile(path).getInt(section, key, def);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  Profile profile(path);
  profile.setString(section, key, value);
  return profile.save();
}

}  // namespace lark
