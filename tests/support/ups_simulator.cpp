#include "tests/support/ups_simulator.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/paths.h"
#include "tests/support/wait.h"
#include "tests/support/temp_dir.h"

namespace lark::test {

UpsSimulatorProcess::UpsSimulatorProcess(const std::string& portsDir, int com,
                                         std::vector<std::string> extraArgs)
    : link_(portsDir + "/COM" + std::to_string(com)) {
  MakeDirs(portsDir);
  std::vector<std::string> args = {BuiltProgram("tools/ups_sim"), "--pty-dir", portsDir, "--com",
                                   std::to_string(com),           "--ups",     "1"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

UpsSimulatorProcess::~UpsSimulatorProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

bool UpsSimulatorProcess::waitReady(int timeoutMs) const {
  return pid_ > 0 && Eventually([&] { return FileExists(link_); }, timeoutMs);
}

}  // namespace lark::test
