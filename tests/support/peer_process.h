// A peer program run by a test (a Python SMTP server, a modem simulator):
// started with an argv, awaited until it prints a line starting "ready",
// killed and reaped when the test ends.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace lark::test {

class PeerProcess {
 public:
  PeerProcess() = default;
  ~PeerProcess() { stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  // False when it did not say "ready" within `seconds`; its stdout after that
  // line goes to the test's stderr.
  bool start(const std::vector<std::string>& argv, int seconds = 20);
  void stop();

 private:
  pid_t pid_ = -1;
};

}  // namespace lark::test
