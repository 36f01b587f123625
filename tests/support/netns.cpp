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

#include "tests/support/user_namespace.h"

namespace lark::test {

namespace {

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

bool EnterPrivateNetwork() {
  if (unshare(CLONE_NEWNET) != 0 && !EnterUserNamespaceWith(CLONE_NEWNET)) {
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
