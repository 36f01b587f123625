// A real Modbus RTU slave for tests: pymodbus (tests/peers/modbus_rtu_slave.py)
// on one end of a socat pseudo-terminal pair whose other end is linked as
// "COMn" in a folder the port resolver looks in.
#pragma once
#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lark::test {

class ModbusPeer {
 public:
  ModbusPeer() = default;
  ~ModbusPeer();
  ModbusPeer(const ModbusPeer&) = delete;
  ModbusPeer& operator=(const ModbusPeer&) = delete;

  // Links `dir`/`com` to the master's end and starts the slaves ("1:ups3",
  // ...). False when the pair or the peer did not come up.
  bool start(const std::string& dir, const std::string& com, const std::vector<std::string>& slaves,
             int baud = 9600);
  // Starts the slaves on an existing line end (a line_pacer's, say).
  bool startOn(const std::string& peerEnd, const std::vector<std::string>& slaves, int baud = 9600);
  // Sends one stdin command and waits for the peer to take it.
  bool command(const std::string& line);
  // The peer's output lines so far ("write 1 0x0312 = 56", ...).
  std::vector<std::string> lines() const;
  // Lines starting with `prefix`.
  std::vector<std::string> linesStartingWith(const std::string& prefix) const;
  void stop();

 private:
  bool waitForLine(const std::string& line, int seconds);
  pid_t socat_ = -1;
  pid_t peer_ = -1;
  int toPeer_ = -1;
  int fromPeer_ = -1;
  std::thread reader_;
  mutable std::mutex mu_;
  std::vector<std::string> lines_;  // guarded by mu_
};

}  // namespace lark::test
