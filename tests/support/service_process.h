// Runs the built Larkcore as a child process on a given install folder, with
// its stderr captured to a file, for end-to-end tests.
#pragma once
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace lark::test {

class ServiceProcess {
 public:
  // `installDir` becomes LARK_INSTALL_DIR; the key store lies in installDir/state
  // unless `stateDir` is given. `extraEnv` entries are "NAME=value".
  explicit ServiceProcess(std::string installDir, std::string stateDir = {},
                          std::vector<std::string> extraEnv = {});
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  bool start();
  // Waits until the output of this start holds `text` (the captured file goes
  // on across restarts); false after `timeoutMs`.
  bool waitForOutput(const std::string& text, int timeoutMs) const;
  std::string output() const;
  // Sends `signo` and waits for the exit; returns the exit status (or 128 + signal).
  int stop(int signo, int timeoutMs = 20000);
  // Waits for the process to end by itself; -1 when it is still running.
  int waitExit(int timeoutMs);
  pid_t pid() const { return pid_; }
  const std::string& stateDir() const { return stateDir_; }

 private:
  std::string installDir_;
  std::string stateDir_;
  std::vector<std::string> extraEnv_;
  std::string logPath_;
  size_t startOffset_ = 0;  // the captured file's size at the last start
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace lark::test
