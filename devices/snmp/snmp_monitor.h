// The network traffic monitor: while a console has it on, every binding sent
// and received is a line of NetworkMonitorN.txt in the install folder, N
// cycling through 0..4 as each file fills up.
//
// Threads: the loop thread opens and closes it, the poll thread writes; one
// lock covers both.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace lark {

inline constexpr uint64_t kNetworkMonitorFileMax = 20000000;  // characters before the next file
inline constexpr int kNetworkMonitorFiles = 5;

class SnmpTrafficMonitor {
 public:
  SnmpTrafficMonitor(const Clock& clock, std::string installDir)
      : clock_(clock), installDir_(std::move(installDir)) {}
  ~SnmpTrafficMonitor() { close(); }
  SnmpTrafficMonitor(const SnmpTrafficMonitor&) = delete;
  SnmpTrafficMonitor& operator=(const SnmpTrafficMonitor&) = delete;

  // Starts the next file (the old one of that name goes); false when it
  // cannot be created.
  bool open();
  void close();
  bool isOn() const;
  // One line: direction 0 sent (Tx), 1 received (Rx).
  void log(std::string_view deviceIp, std::string_view text, int direction);

 private:
  bool openLocked();
  void closeLocked();

  const Clock& clock_;
  const std::string installDir_;
  mutable std::mutex mu_;
  FILE* file_ = nullptr;
  uint64_t written_ = 0;
  int fileCounter_ = 0;
};

}  // namespace lark
