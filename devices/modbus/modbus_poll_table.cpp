#include "devices/modbus/modbus_poll_table.h"

#include <algorithm>

#include "devices/modbus/modbus_frame.h"
#include "devices/modbus/modbus_live_data.h"

namespace lark {

namespace {

constexpr size_t kPduSize = 5;

// The identification rule of CommTypes 2 and 3: the step runs 1..limit-1
// while the link status is 0; at the limit a device that has not timed out
// is identified, one that has starts over.
PollRow IdentifyingStep(Bytes image, size_t lostOff, int limit, int normalCount,
                        std::span<const PollRow> ident, std::span<const PollRow> normal,
                        uint16_t& linkStatus) {
  int step = std::max<int>(i16At(image, mb_off::kPollStep), 0) + 1;
  if (linkStatus == 0 && step >= limit) {
    if (image[lostOff] == 0) {
      linkStatus = 1;
      step = 0;
    } else {
      step = 1;
    }
  }
  if (linkStatus != 0) step %= normalCount;
  putI16(image, mb_off::kPollStep, static_cast<int16_t>(step));
  return linkStatus == 0 ? ident[static_cast<size_t>(step)] : normal[static_cast<size_t>(step)];
}

PollRow Cycle(Bytes image, size_t stepOff, std::span<const PollRow> rows) {
  const int step = (std::max<int>(i16At(image, stepOff), 0) + 1) % static_cast<int>(rows.size());
  putI16(image, stepOff, static_cast<int16_t>(step));
  return rows[static_cast<size_t>(step)];
}

}  // namespace

bool IsAskableRead(const PollRow& row) {
  if (row.function < 2 || row.function > 4 || row.quantity == 0) return false;
  const size_t bytes =
      row.function == 2 ? (size_t{row.quantity} + 7) / 8 : 2 * size_t{row.quantity};
  return bytes + 5 <= kMaxRtuAnswer;
}

bool NextPollRequest(int commType, Bytes image, uint16_t& linkStatus, PollRow* row) {
  switch (commType) {
    case 2: {
      const int normal = i32At(image, mb_off::kSubtype) >= 2 ? 4 : 2;
      *row =
          IdentifyingStep(image, mb_off::kLostUps, 3, normal, kUpsIdentRows, kUpsRows, linkStatus);
      return true;
    }
    case 3:
      *row = IdentifyingStep(image, mb_off::kLostTrv5200, 2, 3, kTrv5200IdentRows, kTrv5200Rows,
                             linkStatus);
      return true;
    case 5:
      *row = Cycle(image, mb_off::kPollStep, k9315Rows);
      return true;
    case 6:
      *row = Cycle(image, mb_off::kPollStep, kInverterRows);
      return true;
    case 7:
      *row = PollRow{
          static_cast<uint8_t>(std::min<uint16_t>(u16At(image, sensor_off::kFunction), 255)),
          u16At(image, sensor_off::kStart), u16At(image, sensor_off::kQuantity)};
      return IsAskableRead(*row);
    case 8:
      *row = Cycle(image, meter_off::kPollStep, kMeterRows);
      return true;
    default:
      return false;
  }
}

std::optional<ModbusPdu> BuildModbusCommandPdu(int code, int32_t arg1) {
  switch (code) {
    case 1611:
      return RegisterWritePdu(0x0302, 3);
    case 1612:
      return RegisterWritePdu(0x0302, 4);
    case 1614:
      return RegisterWritePdu(0x0302, 0);
    case 1615:
      return ModbusPdu{5, 0x02, 0x06, 0xFF, 0x00};
    case 1616:
      return ModbusPdu{5, 0x02, 0x06, 0x00, 0x00};
    case 1617:
      return RegisterWritePdu(0x030E, arg1);
    case 1618:
      return RegisterWritePdu(0x0300, arg1 == 0 ? 1 : arg1);
    case 1619:
      return RegisterWritePdu(0x0301, arg1);
    case 1620:
      return RegisterWritePdu(0x0300, 0);
    default:
      return std::nullopt;
  }
}

std::vector<ModbusPdu> ModbusCommandPdus(int code, int32_t arg1, int32_t arg2) {
  std::vector<ModbusPdu> out;
  auto first = BuildModbusCommandPdu(code, arg1);
  if (!first) return out;
  out.push_back(*first);
  // A negative shutdown delay means none: the restart delay goes alone.
  if (code == 1619 && arg2 >= 0) {
    auto second = BuildModbusCommandPdu(1618, arg2);
    if (!second) return {};
    out.push_back(*second);
  }
  return out;
}

int ModbusQueueCount(CBytes image) {
  return std::clamp<int>(i16At(image, mb_off::kQueueCount), 0, kModbusQueueDepth);
}

bool ModbusQueuePush(Bytes image, std::span<const ModbusPdu> pdus) {
  const int count = ModbusQueueCount(image);
  if (pdus.size() > static_cast<size_t>(kModbusQueueDepth - count)) return false;
  int at = count;
  for (const ModbusPdu& p : pdus) {
    const size_t off = mb_off::kQueue + static_cast<size_t>(at) * kModbusQueueEntrySize;
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(off), kModbusQueueEntrySize, 0);
    std::copy(p.begin(), p.end(), image.begin() + static_cast<std::ptrdiff_t>(off));
    putU32(image, mb_off::kQueueLengths + 4 * static_cast<size_t>(at), kPduSize);
    ++at;
  }
  putI16(image, mb_off::kQueueCount, static_cast<int16_t>(at));
  return true;
}

std::vector<uint8_t> ModbusQueueHead(CBytes image) {
  if (ModbusQueueCount(image) == 0) return {};
  const size_t len = std::min<size_t>(u32At(image, mb_off::kQueueLengths), kModbusQueueEntrySize);
  const auto* p = image.data() + mb_off::kQueue;
  return std::vector<uint8_t>(p, p + len);
}

void ModbusQueuePop(Bytes image) {
  const int count = ModbusQueueCount(image);
  if (count == 0) return;
  for (int i = 1; i < count; ++i) {
    const size_t from = mb_off::kQueue + static_cast<size_t>(i) * kModbusQueueEntrySize;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(from), kModbusQueueEntrySize,
                image.begin() + static_cast<std::ptrdiff_t>(from - kModbusQueueEntrySize));
    putU32(image, mb_off::kQueueLengths + 4 * static_cast<size_t>(i - 1),
           u32At(image, mb_off::kQueueLengths + 4 * static_cast<size_t>(i)));
  }
  putI16(image, mb_off::kQueueCount, static_cast<int16_t>(count - 1));
}

}  // namespace lark
