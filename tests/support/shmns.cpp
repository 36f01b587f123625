#include "tests/support/shmns.h"

#include <sched.h>
#include <sys/mount.h>

#include <cstdio>

#include "tests/support/netns.h"

namespace lark::test {

bool EnterPrivateSharedMemory() {
  if (!UnshareAsSelf(CLONE_NEWNS)) {
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
