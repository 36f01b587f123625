#include "platform/paths.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <vector>

#include "platform/folder_walk.h"
#include "platform/key_store.h"
#include "platform/text.h"

namespace lark {

namespace {

std::string DirName(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Six letters or digits for a temp file name.
std::string RandomSuffix() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 gen(std::random_device{}());
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
  std::string s(6, ' ');
  for (char& c : s) c = kChars[pick(gen)];
  return s;
}

std::string StripTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// One component of a path looked up in `dir`: the exact name when it exists,
// else the smallest (by byte order, so the choice is stable) that matches
// without case.
std::optional<std::string> FindComponent(const std::string& dir, std::string_view name) {
  std::string exact = JoinPath(dir, name);
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0) return exact;
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* e = readdir(d)) {
    std::string_view entry(e->d_name);
    if (!EqualNoCase(entry, name)) continue;
    if (!best || entry < *best) best = std::string(entry);
  }
  closedir(d);
  if (!best) return std::nullopt;
  return JoinPath(dir, *best);
}

std::vector<std::string_view> SplitComponents(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/' || name[i] == '\\') {
      if (i > start) parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string InstallDir(const KeyStore& keys) {
  if (auto stored = keys.read("Main", "Path"); stored && !stored->empty()) {
    return StripTrailingSlashes(ToSlash(*stored));
  }
  if (const char* env = getenv("LARK_INSTALL_DIR"); env != nullptr && *env != '\0') {
    return StripTrailingSlashes(env);
  }
  // Not the current folder: under systemd that is "/".
  return ExecutableDir();
}

std::string ExecutableDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  return DirName(std::string(buf, static_cast<size_t>(n)));
}

std::string ToSlash(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  std::string out(dir);
  while (!out.empty() && out.back() == '/') out.pop_back();
  if (out.empty() && !dir.empty()) return "/" + std::string(name);  // dir was "/"
  if (out.empty()) return std::string(name);
  if (name.empty()) return out;
  out += '/';
  out += name;
  return out;
}

std::optional<std::string> FindNoCase(std::string_view dir, std::string_view name) {
  std::vector<std::string_view> parts = SplitComponents(name);
  if (parts.empty()) return std::nullopt;
  std::string at(dir);
  for (std::string_view part : parts) {
    auto found = FindComponent(at, part);
    if (!found) return std::nullopt;
    at = std::move(*found);
  }
  return at;
}

std::string ResolveNoCase(std::string_view dir, std::string_view name) {
  // Resolve as much of the path as exists, so a new file lands in the folder
  // that is already there under another case.
  std::vector<std::string_view> parts = SplitComponents(name);
  std::string at(dir);
  size_t i = 0;
  for (; i < parts.size(); ++i) {
    auto found = FindComponent(at, parts[i]);
    if (!found) break;
    at = std::move(*found);
  }
  for (; i < parts.size(); ++i) at = JoinPath(at, parts[i]);
  return at;
}

bool IsSafeName(std::string_view name, size_t maxLen) {
  if (name.empty() || name.size() > maxLen) return false;
  if (name == "." || name == "..") return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    // ':' covers drive prefixes ("C:") and stream names, neither a plain file.
    if (c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

std::optional<std::string> SoundFilePath(const std::string& languageDir, std::string_view entry) {
  std::string name = ToSlash(entry);
  if (name.empty() || name.front() == '/') return std::nullopt;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string_view part = std::string_view(name).substr(start, end - start);
    // "C:" drive prefixes are as absolute as a leading '/'.
    if (part == ".." || part.find(':') != std::string_view::npos) return std::nullopt;
    for (char c : part) {
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
    }
    start = end + 1;
  }
  return FindNoCase(languageDir, name);
}

std::string ReportFileTitle(std::string_view title) {
  std::string out(title);
  for (char& c : out) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  }
  if (out.empty()) return "_";
  if (out.front() == '.') out.front() = '_';
  return out;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int OpenRegularFile(const std::string& path, int flags, unsigned mode) {
  return OpenRegularFileIn(path, flags, mode, false);
}

int OpenRegularFileIn(const std::string& path, int flags, unsigned mode, bool makeFolders) {
  const bool truncate = (flags & O_TRUNC) != 0;
  const int dir = OpenFolder(DirName(path), makeFolders);
  if (dir < 0) return -1;
  const std::string name = BaseName(path);
  // Not blocking on a FIFO planted under the name; cleared once it passed.
  int fd = openat(dir, name.c_str(), (flags & ~O_TRUNC) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  static_cast<mode_t>(mode));
  const int why = errno;
  close(dir);
  if (fd < 0) {
    if (why == ELOOP && !TrustedRootOf(path).empty()) NoteLinkRefused(path);
    errno = why;
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
      (truncate && st.st_size != 0 && ftruncate(fd, 0) != 0)) {
    close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

bool RemoveRegularFile(const std::string& path) {
  const int dir = OpenFolder(DirName(path), false);
  if (dir < 0) return false;
  const bool ok = unlinkat(dir, BaseName(path).c_str(), 0) == 0;
  close(dir);
  return ok;
}

FILE* OpenRegularStream(const std::string& path, const char* how) {
  const std::string_view h(how);
  const int flags = h[0] == 'r'   ? O_RDONLY
                    : h[0] == 'w' ? O_WRONLY | O_CREAT | O_TRUNC
                                  : O_WRONLY | O_CREAT | O_APPEND;
  const int fd = OpenRegularFile(path, flags);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, how);
  if (f == nullptr) close(fd);
  return f;
}

std::optional<uint64_t> FreeSpace(const std::string& path) {
  struct statvfs st;
  if (statvfs(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

bool MakeDirs(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  const int fd = OpenFolder(path, true, mode);
  if (fd < 0) return false;
  close(fd);
  return true;
}

namespace {

std::optional<std::string> ReadAll(int fd) {
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return out;
}

}  // namespace

std::optional<std::string> ReadFile(const std::string& path) {
  return ReadAll(open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

std::optional<std::string> ReadRegularFile(const std::string& path) {
  return ReadAll(OpenRegularFile(path, O_RDONLY));
}

bool WriteFileAtomic(const std::string& path, std::string_view data) {
  return WriteFileAtomic(path, data, nullptr);
}

bool WriteFileAtomic(const std::string& path, std::string_view data,
                     const std::function<bool()>& beforeRename) {
  return WriteFileAtomic(path, data, beforeRename, -1, static_cast<gid_t>(-1));
}

bool WriteFileAtomic(const std::string& path, std::string_view data,
                     const std::function<bool()>& beforeRename, int forcedMode, gid_t group) {
  // The temp file, the rename and the sync all go through the one folder
  // opened without following links.
  const int dfd = OpenFolder(DirName(path), false);
  if (dfd < 0) return false;
  const std::string base = BaseName(path);
  std::string tmp;
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 100; ++tries) {
    // Dot-prefixed so a folder scan for the real files passes over it.
    tmp = "." + base + ".tmp-" + RandomSuffix();
    fd = openat(dfd, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    close(dfd);
    return false;
  }
  mode_t mode = 0644;
  struct stat st;
  if (forcedMode >= 0) {
    mode = static_cast<mode_t>(forcedMode);
  } else if (fstatat(dfd, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
    // (Not through a link: its target's mode is no concern of this file.)
    mode = st.st_mode & 0777;
  }
  bool ok = (group == static_cast<gid_t>(-1) || fchown(fd, static_cast<uid_t>(-1), group) == 0) &&
            fchmod(fd, mode) == 0 && WriteAll(fd, data) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && beforeRename) ok = beforeRename();
  if (ok) ok = renameat(dfd, tmp.c_str(), dfd, base.c_str()) == 0;
  if (!ok) {
    unlinkat(dfd, tmp.c_str(), 0);
  } else {
    // The rename itself reaches the disk only when the folder is synced.
    fsync(dfd);
  }
  close(dfd);
  return ok;
}

bool IsAtomicWriteTempName(std::string_view name) {
  constexpr std::string_view kMark = ".tmp-";
  constexpr size_t kRandom = 6;  // the XXXXXX of mkostemp
  if (name.size() < 2 + kMark.size() + kRandom || name.front() != '.') return false;
  const size_t mark = name.size() - kRandom - kMark.size();
  if (name.substr(mark, kMark.size()) != kMark) return false;
  for (char c : name.substr(name.size() - kRandom)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

int RemoveStaleTempFiles(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return 0;
  int removed = 0;
  while (dirent* e = readdir(d)) {
    if (!IsAtomicWriteTempName(e->d_name)) continue;
    const std::string path = JoinPath(dir, e->d_name);
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0) {
      ++removed;
    }
  }
  closedir(d);
  return removed;
}

}  // namespace lark
