// What the Modbus RTU master asks each device type, and the command PDUs it
// writes. The poll rows are data; the step rules pick the row.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/bytes.h"
#include "core/device_tree.h"

namespace lark {

struct PollRow {
  uint8_t function;
  uint16_t start;
  uint16_t quantity;
};

// The ModbusPollTable rows by CommType and phase.
inline constexpr PollRow kUpsIdentRows[] = {{0, 0, 0}, {4, 1024, 27}, {4, 1272, 35}};
inline constexpr PollRow kUpsRows[] = {{4, 1054, 101}, {2, 256, 48}, {3, 768, 34}, {4, 1158, 100}};
inline constexpr PollRow kTrv5200IdentRows[] = {{0, 0, 0}, {3, 521, 1}};
inline constexpr PollRow kTrv5200Rows[] = {{3, 64, 15}, {3, 256, 86}, {3, 384, 68}};
inline constexpr PollRow k9315Rows[] = {{2, 7, 354}, {4, 0, 81}};
inline constexpr PollRow kInverterRows[] = {{4, 1023, 30}, {4, 1077, 9}};
inline constexpr PollRow kMeterRows[] = {
    {3, 1099, 3}, {3, 1123, 3}, {3, 1179, 1}, {3, 1142, 1}, {3, 1699, 4}};

// True for a read a device may be asked: function 2, 3 or 4, at least one
// item, and an answer of at most 256 bytes.
bool IsAskableRead(const PollRow& row);

// Advances the device's step and picks its next request. `image` is the
// device's block (Modbus, sensor or meter by CommType); `linkStatus` may move
// from 0 to 1 when the identification ends. False when the device has no
// request to send (a sensor whose stored read is not askable).
bool NextPollRequest(int commType, Bytes image, uint16_t& linkStatus, PollRow* row);

// ---- commands ----

// The PDU of a UpsCommand code (1611, 1612, 1614..1620); none for other codes
// and for an argument that does not fit a register.
std::optional<ModbusPdu> BuildModbusCommandPdu(int code, int32_t arg1);
// The PDUs a UpsCommand queues: 1619 is followed by the shutdown delay (1618
// with arg2, none when arg2 is negative), so the device gets the restart
// delay first. Empty when refused.
std::vector<ModbusPdu> ModbusCommandPdus(int code, int32_t arg1, int32_t arg2);

// The command queue inside a ModbusLiveData image (10 entries).
int ModbusQueueCount(CBytes image);
// Appends every PDU or none; false when they do not all fit.
bool ModbusQueuePush(Bytes image, std::span<const ModbusPdu> pdus);
// The head entry's bytes (empty when none) and its removal.
std::vector<uint8_t> ModbusQueueHead(CBytes image);
void ModbusQueuePop(Bytes image);

}  // namespace lark
