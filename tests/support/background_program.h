// A background program with its output in a file, for tests that run
// simulators beside the code under test.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace lark::test {

// A background program with its output in a file; killed at the end.
class Child {
 public:
  Child(std::vector<std::string> argv, std::string logPath, std::vector<std::string> env = {})
      : log_(std::move(logPath)) {
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      for (std::string& e : env) putenv(e.data());
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() { stop(SIGKILL); }
  std::string output() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool waitFor(const std::string& text, int ms = 10000) const {
    for (int i = 0; i < ms / 20; ++i) {
      if (output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  void signal(int signo) const { kill(pid_, signo); }
  void stop(int signo) {
    if (pid_ <= 0) return;
    kill(pid_, signo);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string log_;
  pid_t pid_ = -1;
};

}  // namespace lark::test
