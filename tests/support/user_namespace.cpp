#include "tests/support/user_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

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

}  // namespace

bool EnterUserNamespaceWith(int flags) {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | flags) != 0) return false;
  WriteProcFile("/proc/self/setgroups", "deny");
  return WriteProcFile("/proc/self/uid_map",
                       std::to_string(uid) + " " + std::to_string(uid) + " 1") &&
         WriteProcFile("/proc/self/gid_map",
                       std::to_string(gid) + " " + std::to_string(gid) + " 1");
}

}  // namespace lark::test
