// The Modbus ASCII PLC master (CommType 4) on poll thread A.
//
// Each step collects the answer to the range last asked of the port, or gives
// the wait up, then asks the next PLC of the port for its next range: 0x0500
// (output points) first, then 0x0400 (input points), alternating. The point
// bytes land in the node's AsciiLiveData value slots 0..19 (inputs) and
// 20..39 (outputs); bit 0 of the event mask is the lost link.
//
// Threads: steps and markLost run on poll thread A only; the block is written
// under its own lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "devices/port_table.h"
#include "devices/serial_port.h"

namespace lark {

// The PLC's fields in its AsciiLiveData image (the masks as in the ASCII layout).
namespace plc_off {
inline constexpr size_t kLostRetries = 136;   // u8, time-out rounds in a row (0..3)
inline constexpr size_t kAnswered = 1440;     // u16, 1 once it has answered since the last loss
inline constexpr size_t kTimeoutCount = 1074; // u16, steps waited for the current answer
inline constexpr size_t kPollStep = 1076;     // i16, range last asked: 0 inputs, 1 outputs
}  // namespace plc_off

inline constexpr int kPlcLostBit = 0;
inline constexpr int kPlcLostRounds = 4;  // time-out rounds in a row that make the link lost
inline constexpr int kPlcOutputSlot = 20; // first slot of the output range
inline constexpr uint16_t kPlcInputStart = 0x0400;
inline constexpr uint16_t kPlcOutputStart = 0x0500;

class ModbusAsciiPlcEngine final : public SerialEngine {
 public:
  explicit ModbusAsciiPlcEngine(SerialLogFn log);

  bool accepts(const DeviceNode& node, uint8_t protocol) const override;
  int pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) override;
  void markLost(DeviceNode& node) override;

 private:
  enum class Heard { kNothing, kStored, kRefused };
  Heard receive(SerialPortRecord& rec, DeviceNode& dev);
  void timeoutRound(SerialPortRecord& rec, DeviceNode& dev);
  int send(SerialPortRecord& rec, int bus);
  void log(const SerialPortRecord& rec, int bus, const std::string& text) const;

  SerialLogFn log_;
};

}  // namespace lark
