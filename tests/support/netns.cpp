#include "tests/support/netns.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
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

bool BringLoopbackUp() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  struct ifreq req {};
  std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &req) == 0;
  if (ok) {
    req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ioctl(fd, SIOCSIFFLAGS, &req) == 0;
  }
  close(fd);
  return ok;
}

}  // namespace

// Without CAP_SYS_ADMIN a user namespace grants the rights over the new
// namespaces; our own ids map to themselves so file ownership looks unchanged.
bool UnshareAsSelf(int namespaces) {
  if (unshare(namespaces) == 0) return true;
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | namespaces) != 0) return false;
  WriteProcFile("/proc/self/setgroups", "deny");
  return WriteProcFile("/proc/self/uid_map",
                       std::to_string(uid) + " " + std::to_string(uid) + " 1") &&
         WriteProcFile("/proc/self/gid_map",
                       std::to_string(gid) + " " + std::to_string(gid) + " 1");
}

bool EnterPrivateNetwork() {
  if (!UnshareAsSelf(CLONE_NEWNET)) {
    std::perror("unshare(CLONE_NEWNET)");
    return false;
  }
  if (!BringLoopbackUp()) {
    std::perror("bringing loopback up");
    return false;
  }
  return true;
}

}  // namespace lark::test
