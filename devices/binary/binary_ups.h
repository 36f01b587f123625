// The three-phase binary protocol engine (CommType 1) on poll thread B.
//
// Each step collects the reply to the request last sent on the port, or gives
// the wait up, then sends the next request: the device's queued control
// frame, one identification query (link status 0 or 2), or the next status
// query of its cycle (1, 2, 14, 4, and 19, 22, 20, 24 for model byte 2).
// Replies are decoded into the device's BinaryLiveData (binary_reply.h).
//
// Threads: steps and markLost run on poll thread B. The command functions run
// on the loop thread while the poll threads are paused; they touch only the
// block's queue, under the block lock.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/device_node.h"
#include "devices/port_table.h"
#include "devices/serial_port.h"
#include "devices/ups_event_log.h"

namespace lark {

class BinaryUpsEngine final : public SerialEngine {
 public:
  BinaryUpsEngine(UpsEventLogBuffer& eventLog, SerialLogFn log);

  bool accepts(const DeviceNode& node, uint8_t protocol) const override;
  int pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) override;
  void markLost(DeviceNode& node) override;

  // The control frame of a UPS command (from the length byte on); empty when
  // the code has no frame.
  static std::vector<uint8_t> BuildSerialCommand(const DeviceNode& node, int code, int arg1,
                                                 int arg2);
  // Appends frames to the device's queue, every one or none; false when the
  // device has no binary block or they do not all fit.
  static bool QueueSerialCommands(DeviceNode& node, std::span<const std::vector<uint8_t>> frames);
  static bool QueueSerialCommand(DeviceNode& node, CBytes frame);
  static void DropSerialCommand(DeviceNode& node);

  // Where routine notes go instead of the log; set before the poll threads run.
  void setTraceLog(SerialLogFn trace) { trace_ = std::move(trace); }

 private:
  int receive(SerialPortRecord& rec, DeviceNode& dev, LiveDataBlock& blk);
  int send(SerialPortRecord& rec, int bus);
  // `routine`: a note that says nothing is wrong (an identification), for
  // the trace sink when one is set.
  void log(const SerialPortRecord& rec, int bus, const std::string& text,
           bool routine = false) const;

  UpsEventLogBuffer& eventLog_;
  SerialLogFn log_;
  SerialLogFn trace_;
};

// Types asked by queries (answered by a frame); every other request is a
// control frame, answered by 0x06 or 0x15.
bool IsBinaryQueryType(uint8_t type);

}  // namespace lark
