#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lark::test {

pid_t SpawnChild(const std::vector<std::string>& args, bool quiet) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    if (quiet) dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

void StopChild(pid_t& pid, int signo) {
  if (pid <= 0) return;
  kill(pid, signo);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace lark::test
