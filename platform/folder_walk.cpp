#include "platform/folder_walk.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string_view>

namespace lark {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

struct Trust {
  std::mutex mu;
  std::vector<std::string> roots;  // '/'-separated, no trailing '/'
  std::function<void(const std::string&)> hook;
};

Trust& TheTrust() {
  static Trust trust;
  return trust;
}

std::string Normal(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// mkdir -p for a folder outside every root, and for a root itself.
bool MakeAsItStands(const std::string& dir, mode_t mode) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeAsItStands(dir.substr(0, slash), mode))
    return false;
  if (mkdir(dir.c_str(), mode) == 0) return true;
  return errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Opens `name` in the folder `at` as a folder, never through a link.
int OpenStep(int at, const std::string& name, bool make, mode_t mode) {
  int fd = openat(at, name.c_str(), kFolderFlags | O_NOFOLLOW);
  if (fd < 0 && errno == ENOENT && make) {
    if (mkdirat(at, name.c_str(), mode) != 0 && errno != EEXIST) return -1;
    fd = openat(at, name.c_str(), kFolderFlags | O_NOFOLLOW);
  }
  if (fd >= 0 || (errno != ELOOP && errno != ENOTDIR)) return fd;
  struct stat st;
  const bool link = fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
  errno = link ? ELOOP : ENOTDIR;
  return -1;
}

}  // namespace

void SetTrustedRoots(std::vector<std::string> roots) {
  for (std::string& r : roots) r = Normal(std::move(r));
  roots.erase(std::remove(roots.begin(), roots.end(), std::string()), roots.end());
  Trust& t = TheTrust();
  std::lock_guard<std::mutex> g(t.mu);
  t.roots = std::move(roots);
}

void SetLinkRefusedHook(std::function<void(const std::string&)> hook) {
  Trust& t = TheTrust();
  std::lock_guard<std::mutex> g(t.mu);
  t.hook = std::move(hook);
}

void NoteLinkRefused(const std::string& link) {
  std::function<void(const std::string&)> hook;
  {
    Trust& t = TheTrust();
    std::lock_guard<std::mutex> g(t.mu);
    hook = t.hook;
  }
  if (hook) hook(link);
}

std::string TrustedRootOf(const std::string& path) {
  const std::string p = Normal(path);
  Trust& t = TheTrust();
  std::lock_guard<std::mutex> g(t.mu);
  std::string best;
  for (const std::string& r : t.roots) {
    const bool under = p.size() >= r.size() && p.compare(0, r.size(), r) == 0 &&
                       (p.size() == r.size() || p[r.size()] == '/' || r == "/");
    if (under && r.size() > best.size()) best = r;
  }
  return best;
}

int OpenFolder(const std::string& dir, bool make, unsigned mode) {
  const std::string path = Normal(dir);
  const mode_t m = static_cast<mode_t>(mode);
  const std::string root = TrustedRootOf(path);
  if (root.empty()) {
    if (make && !MakeAsItStands(path, m)) return -1;
    return open(path.c_str(), kFolderFlags);
  }
  if (make && !MakeAsItStands(root, m)) return -1;
  int fd = open(root.c_str(), kFolderFlags);
  size_t start = root == "/" ? 0 : root.size();  // at the '/' before the next name
  while (fd >= 0 && start < path.size()) {
    size_t end = path.find('/', start + 1);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start + 1, end - start - 1);
    start = end;
    if (name.empty()) continue;
    if (name == "." || name == "..") {
      close(fd);
      errno = EACCES;
      return -1;
    }
    const int next = OpenStep(fd, name, make, m);
    const int why = errno;
    close(fd);
    fd = next;
    if (fd < 0 && why == ELOOP) NoteLinkRefused(path.substr(0, end));
    errno = why;
  }
  return fd;
}

}  // namespace lark
