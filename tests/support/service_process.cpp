#include "tests/support/service_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace lark::test {

ServiceProcess::ServiceProcess(std::string installDir, std::string stateDir,
                               std::vector<std::string> extraEnv)
    : installDir_(std::move(installDir)),
      stateDir_(stateDir.empty() ? installDir_ + "/state" : std::move(stateDir)),
      extraEnv_(std::move(extraEnv)),
      logPath_(stateDir_ + ".out") {}

ServiceProcess::~ServiceProcess() {
  if (pid_ > 0 && status_ < 0) stop(SIGKILL, 5000);
}

bool ServiceProcess::start() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string s(*e);
    if (s.rfind("LARK_INSTALL_DIR=", 0) == 0 || s.rfind("LARK_STATE_DIR=", 0) == 0) continue;
    env.push_back(s);
  }
  env.push_back("LARK_INSTALL_DIR=" + installDir_);
  env.push_back("LARK_STATE_DIR=" + stateDir_);
  for (const std::string& e : extraEnv_) env.push_back(e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  startOffset_ = output().size();
  status_ = -1;  // a restart is a new child: the destructor must stop it too
  std::string program = BuiltProgram("service/Larkcore");
  std::vector<char*> argv{program.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // Children start with default signal handling and an empty mask.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  int rc = posix_spawn(&pid_, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc == 0;
}

std::string ServiceProcess::output() const {
  std::ifstream in(logPath_);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool ServiceProcess::waitForOutput(const std::string& text, int timeoutMs) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (output().find(text, startOffset_) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int ServiceProcess::waitExit(int timeoutMs) {
  if (status_ >= 0) return status_;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int ServiceProcess::stop(int signo, int timeoutMs) {
  if (pid_ <= 0) return -1;
  if (status_ < 0) kill(pid_, signo);
  int code = waitExit(timeoutMs);
  if (code < 0) {
    kill(pid_, SIGKILL);
    code = waitExit(timeoutMs);
  }
  return code;
}

}  // namespace lark::test
