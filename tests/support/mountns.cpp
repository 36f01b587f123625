#include "tests/support/mountns.h"

#include <sched.h>
#include <sys/mount.h>

#include <cstdio>

#include "tests/support/netns.h"

namespace lark::test {

bool EnterPrivateMounts() {
  if (!UnshareAsSelf(CLONE_NEWNS)) {
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
