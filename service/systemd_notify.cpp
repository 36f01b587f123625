#include "service/systemd_notify.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace lark {

bool NotifySystemd(std::string_view state) {
  const char* path = getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0') return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  size_t len = strlen(path);
  if (len >= sizeof(addr.sun_path)) return false;
  memcpy(addr.sun_path, path, len);
  // A leading '@' names an abstract socket.
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  socklen_t addrLen = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
  ssize_t n = sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&addr), addrLen);
  close(fd);
  return n == static_cast<ssize_t>(state.size());
}

}  // namespace lark
