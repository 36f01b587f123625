#include "tests/support/mountns.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>

namespace lark::test {

namespace {

bool WriteProcFile(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

// Without CAP_SYS_ADMIN a user namespace grants the rights over the new mount
// namespace; our own ids map to themselves.
bool EnterUserAndMounts() {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  WriteProcFile("/proc/self/setgroups", "deny");
  return WriteProcFile("/proc/self/uid_map",
                       std::to_string(uid) + " " + std::to_string(uid) + " 1") &&
         WriteProcFile("/proc/self/gid_map",
                       std::to_string(gid) + " " + std::to_string(gid) + " 1");
}

}  // namespace

bool EnterPrivateMounts() {
  if (unshare(CLONE_NEWNS) != 0 && !EnterUserAndMounts()) {
    std::perror("unshare(CLONE_NEWNS)");
    return false;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    std::perror("making mounts private");
    return false;
  }
  return true;
}

bool MountSmallDisk(const std::string& path, size_t bytes) {
  const std::string options = "size=" + std::to_string(bytes);
  if (mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0) return true;
  std::perror("mount tmpfs");
  return false;
}

bool MakeReadOnly(const std::string& path) {
  if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
      mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0) {
    return true;
  }
  std::perror("read-only bind mount");
  return false;
}

bool Unmount(const std::string& path) { return umount2(path.c_str(), MNT_DETACH) == 0; }

}  // namespace lark::test
