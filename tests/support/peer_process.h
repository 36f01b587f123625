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

  // False when it did not say "ready" within `seconds`; its later output is
  // not read. A `lineFd` of 0 or more is the peer's descriptor 3 (a
  // simulator's end of a line the test holds).
  bool start(const std::vector<std::string>& argv, int seconds = 20, int lineFd = -1);
  void stop();

 private:
  pid_t pid_ = -1;
  int out_ = -1;  // read end of the peer's stdout
};

}  // namespace lark::test
