#include "tests/support/shmns.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <string>

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

bool EnterPrivateSharedMemory() {
  if (unshare(CLONE_NEWNS) != 0 && !EnterUserAndMounts()) {
    std::perror("unshare(CLONE_NEWNS)");
    return false;
  }
  // Nothing mounted here may reach the machine's namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("lark-shm", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
    std::perror("mounting a private /dev/shm");
    return false;
  }
  return true;
}

}  // namespace lark::test
