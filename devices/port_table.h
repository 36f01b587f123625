// The table of serial ports in use, the devices on each bus, and the three
// poll threads that give each device its turn with its port's engine.
//
// Map of this file: SerialPollConfig; SerialPortRecord (one port); SerialEngine
// (what a protocol engine offers the threads); PortTable (attach/detach, the
// pass of a thread, the threads and their pause/stop handshake).
//
// Threads: the loop thread attaches and detaches devices and changes the
// configuration; poll threads A, B and C each walk the ports of their own
// protocol bytes. The registry is guarded by regMu_: a poll thread holds it
// shared for one port's step, attach/detach hold it exclusively, so a detached
// node is never in use once DetachPortDevice returns. A record's fields below
// the registry lock are touched only by the thread that serves its protocol.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>

#include "core/device_node.h"
#include "devices/serial_port.h"
#include "devices/serial_trace.h"

namespace lark {

// The poll settings ([Polling] "Serial Polling" and "Serial Timeout").
struct SerialPollConfig {
  uint32_t pollIntervalMs = 300;   // wait between passes
  uint32_t replyTimeoutMs = 3000;  // "Serial Timeout" x 1000

  // Steps a reply is waited for: timeout / interval (at least 1; the divisor
  // is kept at least 1 too).
  uint32_t timeoutPolls() const;
};

inline constexpr int kMaxComPort = 255;
inline constexpr int kBusSlots = 256;

// One port in use and the devices on its bus.
struct SerialPortRecord {
  int com = 0;                                   // COM number 1..255
  uint8_t protocol = 0;                          // CommType of the device that created the record
  std::unique_ptr<SerialPort> port;              // null while not open (each pass retries)
  std::array<DeviceNode*, kBusSlots> devices{};  // by bus address; owned by the tree
  uint8_t currentSlot = 0;                       // round-robin position
  std::array<uint8_t, 40> tx{};                  // the request last sent
  size_t txLen = 0;
  std::array<uint8_t, 260> rx{};  // the reply being assembled
  size_t received = 0;            // bytes of rx so far
  int awaiting = -1;              // bus address whose reply is due, -1 none

  // The next slot after `slot` (slot itself last) holding a device that is
  // not stopped (link status 10) and matches engine kind `kind` (2: any
  // Modbus RTU kind 2, 3, 5, 6, 7, 8; else CommType == kind); -1 when none.
  int nextPollable(int slot, int kind) const;
  // Records the frame as the request now due and clears the reply buffer.
  void setRequest(std::string_view frame, int bus);
};

// What a protocol engine offers the poll threads. Steps run on one poll
// thread; markLost runs on the same thread.
class SerialEngine {
 public:
  virtual ~SerialEngine() = default;
  // True when the device takes part in polling on a port of `protocol`.
  virtual bool accepts(const DeviceNode& node, uint8_t protocol) const = 0;
  // True when the port may be opened with this device's line settings.
  virtual bool opensWith(const DeviceNode& node, uint8_t protocol) const {
    return accepts(node, protocol);
  }
  virtual SerialLineParams lineParams(const DeviceNode& node) const;
  // One step for the device at `bus`: 0 = its turn is not over (reply
  // awaited or nothing sent), nonzero = a request went out.
  virtual int pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) = 0;
  // The port cannot be opened: put the device into the engine's lost state.
  virtual void markLost(DeviceNode& node) = 0;
};

class PortTable {
 public:
  enum Thread : int { kThreadA = 0, kThreadB = 1, kThreadC = 2 };
  static constexpr int kThreadCount = 3;

  PortTable(PortOpener& opener, SerialTrace* trace, SerialLogFn log, SerialPollConfig config = {});
  ~PortTable();  // stops the threads
  PortTable(const PortTable&) = delete;
  PortTable& operator=(const PortTable&) = delete;

  // The engine of protocol byte `protocol` (0..9); set before start().
  void setEngine(uint8_t protocol, SerialEngine* engine);
  void setConfig(const SerialPollConfig& config);
  SerialPollConfig config() const;

  // Enters the node at its COM port and bus address. Refuses (false, logged)
  // COM texts outside COM1..COM255 and addresses outside 0..255. A different
  // node in the slot is replaced, and the replacement is logged. The port is
  // opened by its poll thread on its next pass, never on the caller's thread.
  bool AttachPortDevice(DeviceNode& node, bool pause);
  // Removes the node from the slot that holds it (only that node); the last
  // device of a port closes it and frees the record.
  void DetachPortDevice(DeviceNode& node, bool pause);
  // True when the port's slot holds a device with another ID.
  bool IsPortDeviceIdTaken(int16_t id, std::string_view com, int bus) const;
  int NextPollableDevice(int portIndex, int slot, int kind) const;
  // The node in a slot (tests, diagnostics); null when none.
  DeviceNode* deviceAt(int com, int bus) const;
  bool isPortOpen(int com) const;
  bool hasRecord(int com) const;

  // One pass of a thread over its ports. Used by the threads, and directly by
  // tests while the threads are not running.
  void runPass(Thread t);

  // Starts threads A, B and C.
  void start();
  // Asks every running thread to pause and waits until each has reported it
  // is paused (each step is bounded, so this returns within one step). Pauses
  // nest: only the outermost resume lets the threads run again.
  void PauseSerialThreads();
  void ResumeSerialThreads();
  // Asks the threads to end and joins them.
  void StopSerialThreads();
  bool running() const;
  // The phase a thread is in, for diagnostics: "pass", "wait", "paused", "ended".
  std::string threadPhase(Thread t) const;

 private:
  struct ThreadState {
    std::thread thread;
    std::atomic<int> pauseWord{0};  // 1 request, 2 paused, 0 run, 3 end
    std::atomic<int> stopWord{0};   // 1 request, 2 acknowledged
    std::atomic<bool> running{false};
    std::atomic<int> phase{0};  // 0 pass, 1 wait, 2 paused, 3 ended
  };

  static bool ServesProtocol(Thread t, uint8_t protocol);
  void threadMain(Thread t);
  bool leaveRequested(Thread t) const;
  void servePort(SerialPortRecord& rec);
  void openPort(SerialPortRecord& rec, SerialEngine& engine);
  void log(const std::string& text) const;

  PortOpener& opener_;
  SerialTrace* trace_;  // may be null
  SerialLogFn log_;
  std::array<SerialEngine*, 10> engines_{};  // by protocol byte; set before start()

  mutable std::mutex cfgMu_;
  SerialPollConfig config_;  // guarded by cfgMu_

  mutable std::shared_mutex regMu_;  // registry: shared per step, exclusive to edit
  std::array<std::unique_ptr<SerialPortRecord>, kMaxComPort + 1> records_;  // index = COM number

  std::mutex waitMu_;  // with waitCv_: pause waits and the interval between passes
  std::condition_variable waitCv_;
  std::array<ThreadState, kThreadCount> threads_;
  int pauseDepth_ = 0;    // loop thread only
  bool started_ = false;  // loop thread only
};

}  // namespace lark
