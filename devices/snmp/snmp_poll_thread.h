// The SNMP poll thread: runs the table's rounds every 100 ms on the
// monotonic clock and answers pause and stop through its control word.
#pragma once
#include <cstdint>
#include <thread>

#include "devices/snmp/snmp_device_table.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace lark {

// The deadline of the next round: 100 ms after the last one, so the time a
// round takes never stretches the interval; a thread that fell more than a
// round behind starts afresh from now instead of catching up in a burst.
// Tick arithmetic wraps with the 32-bit clock.
uint32_t SnmpNextDeadline(uint32_t deadline, uint32_t now);

class SnmpPollThread {
 public:
  SnmpPollThread(SnmpDeviceTable& table, const Clock& clock) : table_(table), clock_(clock) {}
  ~SnmpPollThread() { stop(); }
  SnmpPollThread(const SnmpPollThread&) = delete;
  SnmpPollThread& operator=(const SnmpPollThread&) = delete;

  void start();
  bool running() const { return thread_.joinable(); }
  // Returns once the thread stands between rounds (at once when not running).
  void pause();
  void resume();
  // Stops the thread and joins it.
  void stop();

 private:
  void run();
  // Sleeps until `deadline` in short steps; false when stop or pause is asked.
  bool sleepUntil(uint32_t deadline);

  SnmpDeviceTable& table_;
  const Clock& clock_;
  WorkerControl control_;
  std::thread thread_;
  int pauseDepth_ = 0;  // loop thread only
};

}  // namespace lark
