// The ASCII UPS protocol engine (CommType 0) on poll thread A.
//
// Each step collects the answer to the request last sent on the port, or
// gives the wait up, and then sends the next request: the device's queued
// command, the next identification query while it is being identified
// (link status 0), or the next status query of the cycle its capabilities
// trim (link status 1). Answers are stored into the device's AsciiLiveData.
//
// Threads: steps and markLost run on poll thread A. The command functions run
// on the loop thread; they touch only the block's queue, under the block lock.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/device_node.h"
#include "devices/port_table.h"
#include "devices/serial_port.h"
#include "devices/ups_event_log.h"

namespace lark {

// UPS command codes the ASCII protocol has texts for.
enum AsciiUpsCommand : int {
  kCmdTestShort = 1611,
  kCmdTestLong = 1612,
  kCmdTestCancel = 1614,
  kCmdBuzzerOn = 1615,
  kCmdBuzzerOff = 1616,
  kCmdBatteryTest = 1617,
  kCmdShutdown = 1618,
  kCmdShutdownRestore = 1619,
  kCmdShutdownCancel = 1620,
  kCmdEmergencyOff = 1621,
};

class AsciiUpsEngine final : public SerialEngine {
 public:
  AsciiUpsEngine(UpsEventLogBuffer& eventLog, SerialLogFn log);

  bool accepts(const DeviceNode& node, uint8_t protocol) const override;
  int pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) override;
  void markLost(DeviceNode& node) override;

  // The command text for `code` ("S004TST3" ...), with the payload length
  // digit set; empty when the code has no command for this device.
  static std::string BuildSerialProtocolCommand(const DeviceNode& node, int code, int arg1,
                                                int arg2);
  // Appends a text (at most 32 bytes) to the device's queue; false when the
  // queue is full (10) or the text does not fit, and the text is dropped.
  static bool QueueSerialProtocolCommand(DeviceNode& node, std::string_view text);
  // Appends every text or none; false when they do not all fit.
  static bool QueueSerialProtocolCommands(DeviceNode& node, std::span<const std::string> texts);
  // Removes the head of the device's queue.
  static void DropSerialProtocolCommand(DeviceNode& node);

  // Where routine notes go instead of the log; set before the poll threads run.
  void setTraceLog(SerialLogFn trace) { trace_ = std::move(trace); }

 private:
  // Collects the answer of the device at rec.awaiting: 1 handled, 0 nothing
  // complete (or refused for a bad frame).
  int receive(SerialPortRecord& rec, DeviceNode& dev, LiveDataBlock& blk);
  void parse(SerialPortRecord& rec, DeviceNode& dev, LiveDataBlock& blk, size_t payloadLen);
  // Sends the queued command of `bus` or the next query; 1 when sent.
  int send(SerialPortRecord& rec, int bus);
  // `routine`: a note that says nothing is wrong (an identification), for
  // the trace sink when one is set.
  void log(const SerialPortRecord& rec, int bus, const std::string& text,
           bool routine = false) const;

  UpsEventLogBuffer& eventLog_;
  SerialLogFn log_;
  SerialLogFn trace_;
};

}  // namespace lark
