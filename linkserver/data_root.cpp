#include "linkserver/data_root.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "core/settings.h"
#include "platform/folder_walk.h"
#include "platform/paths.h"

namespace lark {

namespace {

// Folders of the system itself: a console must never make the service read
// or write there. "/var/lib" is checked apart (the state folder lives there).
constexpr std::string_view kSystemFolders[] = {"/etc", "/proc", "/sys",  "/dev", "/boot",   "/usr",
                                               "/bin", "/sbin", "/root", "/run", "/var/lib"};

bool IsUnder(std::string_view path, std::string_view folder) {
  if (path.substr(0, folder.size()) != folder) return false;
  return path.size() == folder.size() || path[folder.size()] == '/';
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::vector<std::string_view> Parts(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool IsNumber(std::string_view s, size_t maxDigits, long min, long max) {
  if (s.empty() || s.size() > maxDigits) return false;
  long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return v >= min && v <= max;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// "<number><suffix>" or "<number><suffix>.txt", the suffix without case.
bool NumberedName(std::string_view name, std::string_view prefix, size_t maxDigits, long min,
                  long max) {
  constexpr std::string_view kDat = ".DAT", kTwin = ".txt";
  if (name.size() > kTwin.size() && EqualNoCase(name.substr(name.size() - kTwin.size()), kTwin)) {
    name.remove_suffix(kTwin.size());
  }
  if (name.size() <= prefix.size() + kDat.size()) return false;
  if (!EqualNoCase(name.substr(0, prefix.size()), prefix)) return false;
  if (!EqualNoCase(name.substr(name.size() - kDat.size()), kDat)) return false;
  return IsNumber(name.substr(prefix.size(), name.size() - prefix.size() - kDat.size()), maxDigits,
                  min, max);
}

}  // namespace

std::optional<std::string> HistoryDirectoryProblem(const std::string& dirIn,
                                                   const std::string& stateDir) {
  // A relative path would resolve against the service's working folder.
  if (dirIn.empty() || dirIn.front() != '/') return "not an absolute path";
  const std::string dir = WithoutTrailingSlashes(dirIn);
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return "does not exist";
  if (S_ISLNK(st.st_mode)) return "is a symbolic link";
  if (!S_ISDIR(st.st_mode)) return "is not a folder";
  // Others could put links there under the names of the files to come.
  if ((st.st_mode & S_IWOTH) && !(st.st_mode & S_ISVTX)) {
    return "can be written by others and has no sticky bit";
  }
  char real[PATH_MAX];
  // A link or ".." on the way makes the real folder another one than named.
  if (realpath(dir.c_str(), real) == nullptr || dir != real) return "is not a plain path";
  if (dir == "/") return "is a system folder";
  const bool inState = !stateDir.empty() && IsUnder(dir, WithoutTrailingSlashes(stateDir));
  for (std::string_view system : kSystemFolders) {
    if (IsUnder(dir, system) && !inState) return "is a system folder";
  }
  if (dir.compare(0, 4, "/lib") == 0) return "is a system folder";
  if (access(dir.c_str(), W_OK | X_OK) != 0) return "cannot be written";
  return std::nullopt;
}

std::optional<std::string> BackupDirectoryProblem(const std::string& dir,
                                                  const std::string& stateDir) {
  if (dir.empty() || dir.front() != '/') return "not an absolute path";
  std::string existing = WithoutTrailingSlashes(dir);
  struct stat st {};
  while (lstat(existing.c_str(), &st) != 0) {
    if (errno != ENOENT) return "cannot be reached";
    const size_t slash = existing.rfind('/');
    const std::string_view name = std::string_view(existing).substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return "is not a plain path";
    existing.resize(slash == 0 ? 1 : slash);
  }
  return HistoryDirectoryProblem(existing, stateDir);
}

void TrustSettingsFolders(const ServiceSettings& s, const std::string& installDir) {
  std::vector<std::string> roots{installDir, s.historyDirectory};
  for (const std::string* dir : {&s.upsLogBackupDir, &s.opLogBackupDir, &s.historyBackupDir})
    if (!dir->empty()) roots.push_back(ToSlash(*dir));
  SetTrustedRoots(std::move(roots));
}

bool IsDataRootFileName(std::string_view path,
                        const std::function<bool(std::string_view)>& isMapFolder) {
  const std::vector<std::string_view> parts = Parts(path);
  if (parts.size() < 2 || !isMapFolder(parts[0])) return false;
  if (parts.size() == 2) {
    return EqualNoCase(parts[1], "Event.log") ||
           NumberedName(parts[1], "AccInverter_", 5, 0, 65535) ||
           NumberedName(parts[1], "AccSensor_", 5, 0, 65535);
  }
  // <node id>/<year>/<month>.DAT
  return parts.size() == 4 && IsNumber(parts[1], 5, 0, 65535) &&
         IsNumber(parts[2], 4, 1000, 9999) && NumberedName(parts[3], "", 2, 1, 12);
}

}  // namespace lark
