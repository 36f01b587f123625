// Map of this file: block helpers; the step (collect, then send); receive;
// answer and time-out actions per CommType; lost marks of an unopened port;
// the command queue.
#include "devices/modbus/modbus_rtu.h"

#include <cstdio>

#include "core/group_totals.h"
#include "devices/modbus/modbus_live_data.h"
#include "devices/modbus/modbus_maps.h"

namespace lark {

namespace {

constexpr uint64_t Bit64(int b) { return uint64_t{1} << b; }

// The loss bit of the current EventMask and the lost counter of CommTypes
// 2, 3 and 5.
struct UpsLoss {
  int bit;
  size_t counter;
};
UpsLoss UpsLossOf(int commType) {
  switch (commType) {
    case kCommModbusTrv5200:
      return {36, mb_off::kLostTrv5200};
    case kCommModbus9315:
      return {40, mb_off::kLost9315};
    default:
      return {24, mb_off::kLostUps};
  }
}

size_t TimeoutCountOffset(BlockKind kind) {
  switch (kind) {
    case BlockKind::kSensor:
      return sensor_off::kTimeoutCount;
    case BlockKind::kMeter:
      return meter_off::kTimeoutCount;
    default:
      return mb_off::kTimeoutCount;
  }
}

// Points of a sensor: two, or five for the other sensor type.
int SensorPoints(const DeviceNode& node) { return node.sensorType() == 0 ? 2 : 5; }

int32_t RootS0(const DeviceNode& node) {
  const DeviceNode* n = &node;
  while (n->parent() != nullptr) n = n->parent();
  return n->groupTotal(GroupTotal::kS0);
}

bool IsReadFunction(uint8_t f) { return f >= 1 && f <= 4; }

}  // namespace

BlockKind ModbusBlockKind(int commType) {
  if (commType == kCommSensor) return BlockKind::kSensor;
  if (commType == kCommMeter) return BlockKind::kMeter;
  return BlockKind::kModbus;
}

bool IsModbusRtuCommType(int commType) {
  return commType == 2 || commType == 3 || (commType >= 5 && commType <= 8);
}

ModbusRtuEngine::ModbusRtuEngine(const Clock& clock, SerialLogFn log)
    : clock_(clock), log_(std::move(log)) {}

void ModbusRtuEngine::log(const SerialPortRecord& rec, int bus, const std::string& text,
                          bool routine) const {
  const SerialLogFn& sink = routine && trace_ ? trace_ : log_;
  if (!sink) return;
  char head[40];
  std::snprintf(head, sizeof head, "COM%d Modbus %d: ", rec.com, bus);
  sink(std::string(head) + text);
}

bool ModbusRtuEngine::accepts(const DeviceNode& node, uint8_t /*protocol*/) const {
  const int ct = node.commType();
  return IsModbusRtuCommType(ct) && node.block(ModbusBlockKind(ct)) != nullptr &&
         node.linkStatus() != kLinkStopped;
}

// ---- the step ----

int ModbusRtuEngine::pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) {
  if (!rec.port) return 0;
  if (rec.awaiting < 0) {
    // Nothing asked: what the line holds belongs to no request.
    rec.received = 0;
    DrainComPort(*rec.port, false);
    return send(rec, bus);
  }
  // The answer and the wait belong to the device that was asked, which after
  // a queued command is not the device whose turn it now is.
  const int asked = rec.awaiting;
  DeviceNode* dev = rec.devices[static_cast<size_t>(asked)];
  LiveDataBlock* blk = dev != nullptr && IsModbusRtuCommType(dev->commType())
                           ? dev->block(ModbusBlockKind(dev->commType()))
                           : nullptr;
  if (blk == nullptr) {
    rec.port->purgeReceive();
    rec.received = 0;
    rec.awaiting = -1;
    return send(rec, bus);
  }
  switch (receive(rec, *dev)) {
    case Received::kAnswered:
      rec.received = 0;
      rec.awaiting = -1;
      answered(rec, *dev);
      break;
    case Received::kRefusedWrite:
      rec.received = 0;
      rec.awaiting = -1;
      break;
    case Received::kNothing: {
      const size_t off = TimeoutCountOffset(blk->kind());
      const bool waiting = blk->withImage([&](Bytes b) {
        const uint16_t old = u16At(b, off);
        putU16(b, off, static_cast<uint16_t>(old + 1));
        return old < timeoutPolls;
      });
      if (waiting) return 0;
      rec.port->purgeReceive();
      rec.received = 0;
      rec.awaiting = -1;
      if (rec.txLen > 1 && !IsReadFunction(rec.tx[1])) {
        log(rec, asked, "no answer to the write of register " + std::to_string(be16At(rec.tx, 2)));
      }
      timedOut(rec, *dev);
      break;
    }
  }
  return send(rec, bus);
}

int ModbusRtuEngine::send(SerialPortRecord& rec, int bus) {
  DeviceNode* dev = rec.devices[static_cast<size_t>(bus)];
  LiveDataBlock* mb = dev != nullptr && IsModbusRtuCommType(dev->commType())
                          ? dev->block(BlockKind::kModbus)
                          : nullptr;
  if (mb != nullptr && ModbusBlockKind(dev->commType()) == BlockKind::kModbus) {
    std::vector<uint8_t> pdu = mb->withImage([](Bytes b) {
      std::vector<uint8_t> head = ModbusQueueHead(b);
      if (!head.empty()) {
        ModbusQueuePop(b);
        putU16(b, mb_off::kTimeoutCount, 0);
      }
      return head;
    });
    if (!pdu.empty()) {
      const std::vector<uint8_t> frame = BuildRtuFrame(static_cast<uint8_t>(bus), pdu);
      rec.setRequest(std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()),
                     bus);
      if (!rec.port->write(frame)) {
        log(rec, bus,
            "the write of register " + std::to_string(pdu.size() >= 3 ? be16At(pdu, 1) : 0) +
                " failed on the port");
      }
      return 1;
    }
  }

  const int next = rec.nextPollable(bus, 2);
  if (next < 0) return 0;
  DeviceNode* nd = rec.devices[static_cast<size_t>(next)];
  const int ct = nd->commType();
  LiveDataBlock* blk = nd->block(ModbusBlockKind(ct));
  if (blk == nullptr) return 1;
  const uint16_t before = nd->linkStatus();
  uint16_t status = before;
  PollRow row{};
  const size_t off = TimeoutCountOffset(blk->kind());
  const bool askable = blk->withImage([&](Bytes b) {
    putU16(b, off, 0);
    return NextPollRequest(ct, b, status, &row);
  });
  if (status != before) {
    nd->setLinkStatus(status);
    const auto [make, model] = blk->withImage([](CBytes b) {
      return std::make_pair(strAt(b, mb_off::kMake, mb_off::kTextSize),
                            strAt(b, mb_off::kModel, mb_off::kTextSize));
    });
    log(rec, next, "identified: make \"" + make + "\", model \"" + model + "\"", true);
  }
  if (!askable) {
    if (unaskable_.insert({rec.com, next}).second) {
      log(rec, next,
          "sensor read function " + std::to_string(row.function) + ", start " +
              std::to_string(row.start) + ", quantity " + std::to_string(row.quantity) +
              " cannot be asked; not polled");
    }
    return 1;
  }
  unaskable_.erase({rec.com, next});
  const auto frame =
      BuildReadRequest(static_cast<uint8_t>(next), row.function, row.start, row.quantity);
  rec.setRequest(std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()), next);
  rec.port->write(CBytes(frame));
  return 1;
}

// ---- receive ----

ModbusRtuEngine::Received ModbusRtuEngine::receive(SerialPortRecord& rec, DeviceNode& dev) {
  SerialPort& port = *rec.port;
  const CBytes request(rec.tx.data(), rec.txLen);
  auto& rx = rec.rx;
  // At most: the header, the rest, and the check of the whole.
  for (int round = 0; round < 3; ++round) {
    const RtuCheck c = CheckRtuAnswer(request, CBytes(rx.data(), rec.received));
    switch (c.status) {
      case RtuStatus::kNeedMore: {
        const size_t want = std::min(c.length - rec.received, SerialPort::kMaxRead);
        rec.received += port.read(Bytes(rx.data() + rec.received, want), want);
        if (rec.received < c.length) return Received::kNothing;
        continue;
      }
      case RtuStatus::kBad:
        // Not this request's answer: drop it with what follows; the wait
        // goes on and times out.
        DrainComPort(port, true);
        rec.received = 0;
        return Received::kNothing;
      case RtuStatus::kException:
        DrainComPort(port, true);
        rec.received = 0;
        if (IsReadFunction(request[1])) return Received::kNothing;
        log(rec, rec.awaiting,
            "the write of register " + std::to_string(be16At(request, 2)) +
                " was refused, exception code " + std::to_string(c.exception));
        return Received::kRefusedWrite;
      case RtuStatus::kComplete: {
        RtuReadAnswer a;
        if (!ReadAnswerOf(request, CBytes(rx.data(), c.length), &a)) return Received::kAnswered;
        const int ct = dev.commType();
        LiveDataBlock* blk = dev.block(ModbusBlockKind(ct));
        MapNodeState st;
        st.linkStatus = dev.linkStatus();
        st.operatingState = dev.upsTypeCode();
        st.sensorType = dev.sensorType();
        st.nowTick = clock_.tickMs();
        st.illuminationMin = illuminationMin_.load();
        if (ct == kCommMeter) st.gateS0 = RootS0(dev);
        blk->withImage([&](Bytes b) { ParseModbusReply(ct, a, b, st); });
        if (st.operatingStateSet) dev.setUpsTypeCode(st.operatingState);
        if (st.status2 >= 0) dev.setStatus2(static_cast<uint8_t>(st.status2));
        if (ct == kCommInverter || ct == kCommSensor) UpdateGroupTotals(&dev);
        return Received::kAnswered;
      }
    }
  }
  return Received::kNothing;
}

// ---- answer and time-out actions ----

void ModbusRtuEngine::answered(SerialPortRecord& rec, DeviceNode& dev) {
  const int ct = dev.commType();
  LiveDataBlock& blk = *dev.block(ModbusBlockKind(ct));
  bool restored = false;
  bool identify = false;
  switch (ct) {
    case kCommModbusUps:
    case kCommModbusTrv5200:
    case kCommModbus9315: {
      const UpsLoss loss = UpsLossOf(ct);
      identify = ct == kCommModbus9315 && dev.linkStatus() == kLinkUnidentified;
      restored = blk.withImage([&](Bytes b) {
        b[loss.counter] = 0;
        const uint64_t cur = u64At(b, mb_off::kCurrentMask);
        const bool reported = (u64At(b, mb_off::kReportedMask) & Bit64(loss.bit)) != 0;
        // CommTypes 2 and 3 clear the bit only once it has been reported and
        // is still set, so the recovery is an event of its own.
        const bool clear = ct == kCommModbus9315 ? reported : reported && (cur & Bit64(loss.bit));
        if (clear) putU64(b, mb_off::kCurrentMask, cur & ~Bit64(loss.bit));
        if (identify) {
          putI32(b, mb_off::kSlots + 4 * 34, 675000);
          putStr(b, mb_off::kMake, mb_off::kTextSize, "PowerWare");
          putStr(b, mb_off::kModel, mb_off::kTextSize, "PowerWare 9315");
        }
        return clear && (cur & Bit64(loss.bit));
      });
      if (identify) {
        dev.setLinkStatus(kLinkIdentified);
        dev.setUpsTypeCode(3);
      }
      break;
    }
    case kCommInverter:
      restored = blk.withImage([](Bytes b) {
        putU16(b, mb_off::kGraceCount, 0);
        b[mb_off::kLostInverter] = 0;
        const uint64_t cur = u64At(b, mb_off::kCurrentMask);
        putU64(b, mb_off::kCurrentMask, cur & ~(Bit64(15) | Bit64(16)));
        return (cur & (Bit64(15) | Bit64(16))) != 0;
      });
      break;
    case kCommSensor: {
      const int points = SensorPoints(dev);
      restored = blk.withImage([points](Bytes b) {
        const bool was = b[sensor_off::kCurrentMask] != 0;
        b[sensor_off::kCurrentMask] = 0;
        for (int i = 0; i < points; ++i) b[sensor_off::kPointCounters + static_cast<size_t>(i)] = 0;
        return was;
      });
      break;
    }
    case kCommMeter:
      restored = blk.withImage([](Bytes b) {
        const bool was = (b[meter_off::kCurrentMask] & 1) != 0;
        b[meter_off::kCurrentMask] = 0;
        b[meter_off::kLost] = 0;
        return was;
      });
      break;
    default:
      return;
  }
  if (ct >= kCommInverter && dev.linkStatus() == kLinkUnidentified) {
    dev.setLinkStatus(kLinkIdentified);
  }
  if (restored) log(rec, dev.upsId(), "answering again");
}

void ModbusRtuEngine::timedOut(SerialPortRecord& rec, DeviceNode& dev) {
  const int ct = dev.commType();
  LiveDataBlock& blk = *dev.block(ModbusBlockKind(ct));
  bool lostNow = false;
  bool totals = false;
  switch (ct) {
    case kCommModbusUps:
    case kCommModbusTrv5200:
    case kCommModbus9315: {
      const UpsLoss loss = UpsLossOf(ct);
      lostNow = blk.withImage([&](Bytes b) {
        if (u64At(b, mb_off::kReportedMask) & Bit64(loss.bit)) return false;
        const uint8_t old = b[loss.counter];
        b[loss.counter] = static_cast<uint8_t>(std::min(old + 1, kModbusLostLimit));
        if (old < kModbusLostLimit) return false;
        const uint64_t cur = u64At(b, mb_off::kCurrentMask);
        putU64(b, mb_off::kCurrentMask, cur | Bit64(loss.bit));
        return (cur & Bit64(loss.bit)) == 0;
      });
      break;
    }
    case kCommInverter:
      lostNow = blk.withImage([&](Bytes b) {
        const uint64_t lossBits = Bit64(15) | Bit64(16);
        if (u64At(b, mb_off::kReportedMask) & lossBits) return false;
        const uint8_t old = b[mb_off::kLostInverter];
        b[mb_off::kLostInverter] = static_cast<uint8_t>(std::min(old + 1, kModbusLostLimit));
        if (old < kModbusLostLimit) return false;
        const int32_t load = i32At(b, mb_off::kSlots + 4 * 12);
        int bit = 16;
        if (load >= 0 && load <= 150) {
          // A quiet inverter at low output may just be asleep: wait longer.
          const uint16_t grace = u16At(b, mb_off::kGraceCount);
          putU16(b, mb_off::kGraceCount, static_cast<uint16_t>(std::min(grace + 1, 301)));
          if (grace <= 300) return false;
          putU16(b, mb_off::kGraceCount, 300);
          bit = 15;
        }
        const uint64_t cur = u64At(b, mb_off::kCurrentMask);
        putU64(b, mb_off::kCurrentMask, cur | Bit64(bit));
        for (int s = 0; s <= 16; ++s) putI32(b, mb_off::kSlots + 4 * static_cast<size_t>(s), -1);
        totals = true;
        return (cur & lossBits) == 0;
      });
      break;
    case kCommSensor: {
      const int points = SensorPoints(dev);
      lostNow = blk.withImage([points](Bytes b) {
        const bool was = b[sensor_off::kCurrentMask] != 0;
        putU32(b, sensor_off::kTick, 0);
        for (int i = 0; i < points; ++i) {
          b[sensor_off::kCurrentMask] =
              static_cast<uint8_t>(b[sensor_off::kCurrentMask] | (1u << i));
          b[sensor_off::kPointCounters + static_cast<size_t>(i)] = kModbusLostLimit;
        }
        for (int s = 0; s < kSensorSlotTotal; ++s) {
          putI32(b, sensor_off::kSlots + 4 * static_cast<size_t>(s), -1);
        }
        return !was;
      });
      totals = true;
      break;
    }
    case kCommMeter:
      lostNow = blk.withImage([](Bytes b) {
        if (b[meter_off::kCurrentMask] & 1) return false;
        const uint8_t old = b[meter_off::kLost];
        b[meter_off::kLost] = static_cast<uint8_t>(std::min(old + 1, kModbusLostLimit));
        if (old < kModbusLostLimit) return false;
        b[meter_off::kCurrentMask] |= 1;
        return true;
      });
      break;
    default:
      return;
  }
  if (totals) UpdateGroupTotals(&dev);
  if (lostNow) log(rec, dev.upsId(), "no answer; communication lost");
}

void ModbusRtuEngine::markLost(DeviceNode& node) {
  const int ct = node.commType();
  LiveDataBlock* blk = node.block(ModbusBlockKind(ct));
  if (blk == nullptr) return;
  switch (ct) {
    case kCommModbusUps:
    case kCommModbusTrv5200:
    case kCommModbus9315:
    case kCommInverter: {
      const UpsLoss loss = ct == kCommInverter ? UpsLoss{16, mb_off::kLostInverter} : UpsLossOf(ct);
      blk->withImage([&](Bytes b) {
        putU64(b, mb_off::kCurrentMask, u64At(b, mb_off::kCurrentMask) | Bit64(loss.bit));
        b[loss.counter] = kModbusLostLimit;
      });
      break;
    }
    case kCommSensor:
      blk->withImage([](Bytes b) {
        b[sensor_off::kCurrentMask] = static_cast<uint8_t>(b[sensor_off::kCurrentMask] | 0x3F);
        for (size_t i = 0; i < 6; ++i) b[sensor_off::kPointCounters + i] = kModbusLostLimit;
      });
      break;
    case kCommMeter:
      blk->withImage([](Bytes b) {
        b[meter_off::kCurrentMask] |= 1;
        b[meter_off::kLost] = kModbusLostLimit;
      });
      break;
    default:
      break;
  }
}

// ---- the command queue ----

bool ModbusRtuEngine::QueueModbusCommands(DeviceNode& node, std::span<const ModbusPdu> pdus) {
  const int ct = node.commType();
  LiveDataBlock* blk = node.block(BlockKind::kModbus);
  if (blk == nullptr || ModbusBlockKind(ct) != BlockKind::kModbus || !IsModbusRtuCommType(ct)) {
    return false;
  }
  return blk->withImage([&](Bytes b) { return ModbusQueuePush(b, pdus); });
}

}  // namespace lark
