// The ASCII UPS simulator (tools/ups_sim) as a child process on a pty
// linked as <portsDir>/COM<com>, stopped and reaped however a test ends.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace lark::test {

class UpsSimulatorProcess {
 public:
  // Starts ups_sim for UPS id 1 on COM`com`, with `extraArgs` after the
  // usual ones; its output goes to /dev/null.
  explicit UpsSimulatorProcess(const std::string& portsDir, int com = 1,
                               std::vector<std::string> extraArgs = {});
  ~UpsSimulatorProcess();
  UpsSimulatorProcess(const UpsSimulatorProcess&) = delete;
  UpsSimulatorProcess& operator=(const UpsSimulatorProcess&) = delete;

  // Waits for the port's link; false after `timeoutMs`.
  bool waitReady(int timeoutMs) const;

 private:
  std::string link_;
  pid_t pid_ = -1;
};

}  // namespace lark::test
