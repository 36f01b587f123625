// The register maps of the Modbus RTU device types: each parser turns a
// checked read answer into value slots, event bits and identification texts
// of the device's live-data block (modbus_live_data.h). Only read answers
// reach a parser, picked by the start register of the request they answer;
// a block a parser does not know is ignored. Every register outside the
// answer reads as absent, so a parser never looks past the answer's bytes.
#pragma once
#include <cstdint>

#include "common/bytes.h"
#include "devices/modbus/modbus_frame.h"

namespace lark {

// What a parser reads of the node and the service beside the block, and what
// it asks the engine to store back on the node.
struct MapNodeState {
  uint16_t linkStatus = 0;     // in
  uint8_t operatingState = 0;  // in and out (the node's operating-state byte)
  bool operatingStateSet = false;
  int status2 = -1;              // out: the second status byte, -1 unchanged
  int16_t sensorType = 0;        // in: 0 two-point sensor, else five points
  uint32_t nowTick = 0;          // in: monotonic ms
  int32_t illuminationMin = 15;  // in: [Inverter] "Illumination.MinValue"
  int32_t gateS0 = 0;            // in: the root group's inverter sum S0 (meter gate)
};

void ParseModbusUpsReply(const RtuReadAnswer& a, Bytes image, MapNodeState& node);
void ParseModbusTrv5200Reply(const RtuReadAnswer& a, Bytes image, MapNodeState& node);
void ParseModbus9315Reply(const RtuReadAnswer& a, Bytes image, MapNodeState& node);
void ParseModbusInverterReply(const RtuReadAnswer& a, Bytes image, MapNodeState& node);
void ParseModbusSensorReply(const RtuReadAnswer& a, Bytes image, MapNodeState& node);
void ParseModbusMeterReply(const RtuReadAnswer& a, Bytes image, MapNodeState& node);

// Dispatch by CommType (2, 3, 5, 6, 7, 8); other kinds do nothing.
void ParseModbusReply(int commType, const RtuReadAnswer& a, Bytes image, MapNodeState& node);

// Writes year, month, day as 4, 2 and 2 digits into a date field; a value
// that is absent or does not fit its digits leaves the field empty.
void PutDateText(Bytes image, size_t off, int32_t year, int32_t month, int32_t day);

}  // namespace lark
