#include "tests/support/peer_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lark::test {

bool PeerProcess::start(const std::vector<std::string>& argv, int seconds, int lineFd) {
  stop();
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    if (lineFd >= 0) dup2(lineFd, 3);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string seen;
  bool ready = false;
  for (int waited = 0; waited < seconds * 10 && !ready; ++waited) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    seen.append(buf, static_cast<size_t>(n));
    ready = seen.rfind("ready", 0) == 0 || seen.find("\nready") != std::string::npos;
  }
  // Later output is not read, but the pipe stays open so a late line never
  // kills the peer.
  out_ = fds[0];
  return ready;
}

void PeerProcess::stop() {
  if (out_ >= 0) close(out_);
  out_ = -1;
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace lark::test
