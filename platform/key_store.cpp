#include "platform/key_store.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/text.h"

namespace lark {

namespace {

// A key's file holds one "name=value" line per value. '\', '=', CR, LF and
// NUL are escaped so that any name and value round-trip.
using Entries = std::vector<std::pair<std::string, std::string>>;

// Key paths compare without case, as registry keys do; anything outside a
// plain set of characters is %-encoded, so a key path never leaves the folder.
std::string KeyFileStem(std::string_view key) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : key) {
    char l = AsciiLower(c);
    if ((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '-' || l == '_' ||
        (l == '.' && !out.empty())) {
      out += l;
    } else {
      unsigned char u = static_cast<unsigned char>(c == '/' ? '\\' : c);
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

void Escape(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '=':
        out += "\\=";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
}

char Unescaped(char c) {
  switch (c) {
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case '0':
      return '\0';
    default:
      return c;
  }
}

Entries Parse(std::string_view text) {
  Entries entries;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    std::string name, value;
    std::string* into = &name;
    bool split = false;
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (c == '\\' && i + 1 < line.size()) {
        *into += Unescaped(line[++i]);
      } else if (c == '=' && !split) {
        split = true;
        into = &value;
      } else {
        *into += c;
      }
    }
    if (split) entries.emplace_back(std::move(name), std::move(value));
  }
  return entries;
}

std::string Format(const Entries& entries) {
  std::string out;
  for (const auto& [name, value] : entries) {
    Escape(out, name);
    out += '=';
    Escape(out, value);
    out += '\n';
  }
  return out;
}

Entries::iterator Find(Entries& entries, std::string_view name) {
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (EqualNoCase(it->first, name)) return it;
  }
  return entries.end();
}

// The store is shared by the service and the desktop users of its group: the
// folder is 2770 and every file 0660 with the folder's group, set explicitly
// because the umask and a folder without the set-group-id bit would not.
constexpr mode_t kStoreDirMode = 02770;
constexpr mode_t kStoreFileMode = 0660;

bool EnsureStoreDir(const std::string& dir) {
  if (IsDirectory(dir)) return true;
  size_t slash = dir.find_last_not_of('/');
  slash = slash == std::string::npos ? std::string::npos : dir.rfind('/', slash);
  if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash), 0700)) {
    return false;
  }
  if (mkdir(dir.c_str(), kStoreDirMode) == 0) return chmod(dir.c_str(), kStoreDirMode) == 0;
  return errno == EEXIST && IsDirectory(dir);
}

gid_t StoreGroup(const std::string& dir) {
  struct stat st;
  return stat(dir.c_str(), &st) == 0 ? st.st_gid : static_cast<gid_t>(-1);
}

// Gives a file this process owns the store's mode and group; files of other
// users were set by their creator.
void ShareFile(int fd, gid_t group) {
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_uid != geteuid()) return;
  if (group != static_cast<gid_t>(-1) && st.st_gid != group) {
    (void)!fchown(fd, static_cast<uid_t>(-1), group);
  }
  if ((st.st_mode & 07777) != kStoreFileMode) (void)!fchmod(fd, kStoreFileMode);
}

// flock on the key's lock file for the life of the object. The lock file is
// separate from the data file because the data file is replaced by rename.
class KeyLock {
 public:
  KeyLock(const std::string& path, int op, gid_t group) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kStoreFileMode);
    // A reader in a folder it may not write still locks an existing file.
    if (fd_ < 0) fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    ShareFile(fd_, group);
    while (flock(fd_, op) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~KeyLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

struct KeyFiles {
  std::string data;
  std::string lock;
};

KeyFiles FilesOf(const std::string& dir, std::string_view key) {
  std::string stem = KeyFileStem(key);
  return {JoinPath(dir, stem + ".key"), JoinPath(dir, stem + ".lock")};
}

// Reads, changes and rewrites one key under its exclusive lock. `change`
// returns false to leave the file as it is.
template <typename Change>
bool Update(const std::string& dir, std::string_view key, Change change) {
  if (key.empty() || !EnsureStoreDir(dir)) return false;
  KeyFiles files = FilesOf(dir, key);
  const gid_t group = StoreGroup(dir);
  KeyLock lock(files.lock, LOCK_EX, group);
  if (!lock.held()) return false;
  Entries entries;
  if (FileExists(files.data)) {
    auto text = ReadFile(files.data);
    if (!text) return false;
    entries = Parse(*text);
  }
  if (!change(entries)) return false;
  return WriteFileAtomic(files.data, Format(entries), nullptr, kStoreFileMode, group);
}

}  // namespace

KeyStore::KeyStore(std::string dir) : dir_(std::move(dir)) {}

std::string KeyStore::DefaultDir() {
  if (const char* env = getenv("LARK_STATE_DIR"); env != nullptr && *env != '\0') return env;
  // Desktop users of the service's group share its store; others keep their own.
  if (geteuid() == 0 || access(kSystemStateDir, W_OK | X_OK) == 0) return kSystemStateDir;
  if (const char* xdg = getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
    return JoinPath(xdg, "larkcore");
  }
  const char* home = getenv("HOME");
  std::string homeDir = home != nullptr && *home != '\0' ? home : "";
  if (homeDir.empty()) {
    if (passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_dir != nullptr) {
      homeDir = pw->pw_dir;
    }
  }
  if (homeDir.empty()) homeDir = "/tmp";
  return JoinPath(homeDir, ".local/state/larkcore");
}

bool KeyStore::createKey(std::string_view key) {
  return Update(dir_, key, [](Entries&) { return true; });
}

std::optional<std::string> KeyStore::read(std::string_view key, std::string_view name) const {
  if (key.empty() || !IsDirectory(dir_)) return std::nullopt;
  KeyFiles files = FilesOf(dir_, key);
  if (!FileExists(files.data)) return std::nullopt;
  // Writers replace the file by rename, so a reader that cannot take the
  // lock (a read-only folder) still sees a whole file.
  KeyLock lock(files.lock, LOCK_SH, StoreGroup(dir_));
  auto text = ReadFile(files.data);
  if (!text) return std::nullopt;
  Entries entries = Parse(*text);
  auto it = Find(entries, name);
  if (it == entries.end()) return std::nullopt;
  return it->second;
}

bool KeyStore::write(std::string_view key, std::string_view name, std::string_view value) {
  return Update(dir_, key, [&](Entries& entries) {
    auto it = Find(entries, name);
    if (it == entries.end()) {
      entries.emplace_back(std::string(name), std::string(value));
    } else {
      it->second = std::string(value);
    }
    return true;
  });
}

bool KeyStore::remove(std::string_view key, std::string_view name) {
  if (!FileExists(FilesOf(dir_, key).data)) return false;
  return Update(dir_, key, [&](Entries& entries) {
    auto it = Find(entries, name);
    if (it == entries.end()) return false;
    entries.erase(it);
    return true;
  });
}

std::optional<std::string> KeyStore::takeAndClear(std::string_view key, std::string_view name) {
  if (!FileExists(FilesOf(dir_, key).data)) return std::nullopt;
  std::optional<std::string> taken;
  bool ok = Update(dir_, key, [&](Entries& entries) {
    auto it = Find(entries, name);
    if (it == entries.end()) return false;
    taken = std::move(it->second);
    entries.erase(it);
    return true;
  });
  // A value that could not be deleted is not handed out, so it is not seen twice.
  if (!ok) return std::nullopt;
  return taken;
}

std::optional<std::string> KeyStore::readAndEmpty(std::string_view key, std::string_view name) {
  std::optional<std::string> taken;
  Update(dir_, key, [&](Entries& entries) {
    auto it = Find(entries, name);
    if (it == entries.end()) {
      entries.emplace_back(std::string(name), std::string());
      return true;
    }
    taken = std::move(it->second);
    it->second.clear();
    return !taken->empty();  // an empty value is left as it is
  });
  return taken;
}

std::string KeyStore::sharedFile(std::string_view key, std::string_view name) {
  std::string path = JoinPath(dir_, KeyFileStem(key) + "." + KeyFileStem(name) + ".own");
  if (EnsureStoreDir(dir_)) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kStoreFileMode);
    if (fd >= 0) {
      ShareFile(fd, StoreGroup(dir_));
      close(fd);
    }
  }
  return path;
}

bool KeyStore::append(std::string_view key, std::string_view name, std::string_view text,
                      size_t maxLen) {
  return Update(dir_, key, [&](Entries& entries) {
    auto it = Find(entries, name);
    size_t now = it == entries.end() ? 0 : it->second.size();
    if (maxLen != 0 && now + text.size() > maxLen) return false;
    if (it == entries.end()) {
      entries.emplace_back(std::string(name), std::string(text));
    } else {
      it->second += text;
    }
    return true;
  });
}

}  // namespace lark
