// The Modbus RTU master (CommTypes 2, 3, 5, 6, 7 and 8) on poll thread C.
//
// Each step collects the answer to the request last sent on the port (or
// gives the wait up) and books it to the device that was asked, then sends
// the next request: the queued command of the device whose turn it is, or
// the next poll request of the next pollable device on the port. Answers go
// to the register maps (modbus_maps.h) by the request they answer.
//
// Threads: steps and markLost run on poll thread C; the queue functions run
// on the loop thread while the poll threads are paused, and touch only the
// block's queue, under the block lock. The illumination minimum is an atomic
// set by the loop thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <utility>

#include "core/device_node.h"
#include "devices/modbus/modbus_frame.h"
#include "devices/modbus/modbus_poll_table.h"
#include "devices/port_table.h"
#include "devices/serial_port.h"
#include "platform/clock.h"

namespace lark {

// The block that carries a Modbus RTU device's values by its CommType.
BlockKind ModbusBlockKind(int commType);
bool IsModbusRtuCommType(int commType);

class ModbusRtuEngine final : public SerialEngine {
 public:
  ModbusRtuEngine(const Clock& clock, SerialLogFn log);

  bool accepts(const DeviceNode& node, uint8_t protocol) const override;
  int pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) override;
  void markLost(DeviceNode& node) override;

  // [Inverter] "Illumination.MinValue": the sensor day total adds only above it.
  void setIlluminationMin(int32_t value) { illuminationMin_ = value; }

  // Appends the PDUs to a Modbus device's queue, every one or none; false
  // when the device has no Modbus block or they do not all fit.
  static bool QueueModbusCommands(DeviceNode& node, std::span<const ModbusPdu> pdus);

  // Where routine notes go instead of the log; set before the poll threads run.
  void setTraceLog(SerialLogFn trace) { trace_ = std::move(trace); }

 private:
  enum class Received { kNothing, kAnswered, kRefusedWrite };
  Received receive(SerialPortRecord& rec, DeviceNode& dev);
  void answered(SerialPortRecord& rec, DeviceNode& dev);
  void timedOut(SerialPortRecord& rec, DeviceNode& dev);
  int send(SerialPortRecord& rec, int bus);
  // `routine`: a note that says nothing is wrong (an identification), for
  // the trace sink when one is set.
  void log(const SerialPortRecord& rec, int bus, const std::string& text,
           bool routine = false) const;

  const Clock& clock_;
  SerialLogFn log_;
  SerialLogFn trace_;
  std::atomic<int32_t> illuminationMin_{15};
  std::set<std::pair<int, int>> unaskable_;  // (COM, address) of sensors reported once; thread C
};

}  // namespace lark
