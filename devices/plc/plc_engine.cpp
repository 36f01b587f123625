#include "devices/plc/plc_engine.h"

#include <algorithm>
#include <cstdio>

#include "devices/ascii_live_data.h"
#include "devices/plc/modbus_ascii.h"

namespace lark {

namespace {

constexpr uint64_t kLostMask = uint64_t{1} << kPlcLostBit;

// The range a request asked for, read back from the request itself: the
// address (chars 1..2), the start high byte (chars 5..6) and the quantity
// (chars 9..12).
struct Asked {
  int address = -1;
  bool outputs = false;
  int quantity = 0;
};

Asked AskedBy(const SerialPortRecord& rec) {
  Asked a;
  if (rec.txLen != kPlcRequestSize) return a;
  std::string_view tx(reinterpret_cast<const char*>(rec.tx.data()), rec.txLen);
  auto hex = [&](size_t pos, size_t n) {
    return static_cast<int>(std::stoul(std::string(tx.substr(pos, n)), nullptr, 16));
  };
  a.address = hex(1, 2);
  a.outputs = hex(5, 2) == (kPlcOutputStart >> 8);
  a.quantity = hex(9, 4);
  return a;
}

}  // namespace

ModbusAsciiPlcEngine::ModbusAsciiPlcEngine(SerialLogFn log) : log_(std::move(log)) {}

void ModbusAsciiPlcEngine::log(const SerialPortRecord& rec, int bus, const std::string& text) const {
  if (!log_) return;
  char head[32];
  std::snprintf(head, sizeof head, "COM%d PLC %02d", rec.com, bus);
  log_(std::string(head) + text);
}

bool ModbusAsciiPlcEngine::accepts(const DeviceNode& node, uint8_t protocol) const {
  return protocol == kCommPlc && node.commType() == kCommPlc &&
         node.block(BlockKind::kAscii) != nullptr && node.linkStatus() != kLinkStopped;
}

void ModbusAsciiPlcEngine::markLost(DeviceNode& node) {
  LiveDataBlock* blk = node.block(BlockKind::kAscii);
  if (blk == nullptr) return;
  blk->withImage([](Bytes b) {
    AsciiImage img(b);
    img.setMaskBit(ascii_off::kCurrentMask, kPlcLostBit, true);
    img.setU8(plc_off::kLostRetries, kPlcLostRounds - 1);
    img.setU16(plc_off::kAnswered, 0);
  });
}

int ModbusAsciiPlcEngine::pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) {
  if (!rec.port) return 0;
  if (rec.awaiting < 0) {
    // Nothing asked yet on this line: whatever is pending is stale.
    DrainComPort(*rec.port, true);
    rec.received = 0;
    return send(rec, bus);
  }
  DeviceNode* dev = rec.devices[static_cast<size_t>(rec.awaiting)];
  LiveDataBlock* blk = dev != nullptr ? dev->block(BlockKind::kAscii) : nullptr;
  if (blk == nullptr) {
    rec.port->purgeReceive();
    rec.received = 0;
    rec.awaiting = -1;
    return send(rec, bus);
  }
  switch (receive(rec, *dev)) {
    case Heard::kStored:
      break;
    case Heard::kRefused:
      // A refused answer counts as none: the exchange ends as a time-out does.
      timeoutRound(rec, *dev);
      break;
    case Heard::kNothing: {
      bool expired = blk->withImage([&](Bytes b) {
        AsciiImage img(b);
        uint16_t waited = img.u16(plc_off::kTimeoutCount);
        if (waited < timeoutPolls) {
          img.setU16(plc_off::kTimeoutCount, static_cast<uint16_t>(waited + 1));
          return false;
        }
        return true;
      });
      if (!expired) return 0;
      timeoutRound(rec, *dev);
      break;
    }
  }
  return send(rec, bus);
}

ModbusAsciiPlcEngine::Heard ModbusAsciiPlcEngine::receive(SerialPortRecord& rec, DeviceNode& dev) {
  const Asked asked = AskedBy(rec);
  if (asked.address < 0) return Heard::kRefused;
  const size_t cap = std::min(rec.rx.size(), kPlcMaxAnswerSize);
  auto text = [&] {
    return std::string_view(reinterpret_cast<const char*>(rec.rx.data()), rec.received);
  };
  PlcAnswer a;
  for (;;) {
    a = ReadPlcAnswer(text(), asked.address, asked.quantity);
    if (a.status != PlcAnswer::kNeedMore) break;
    // Read the header first, then exactly the rest of the answer.
    size_t want = (a.length == 0 ? 7 : a.length) - rec.received;
    want = std::min({want, cap - rec.received, SerialPort::kMaxRead});
    if (want == 0) return Heard::kRefused;
    size_t n = rec.port->read(Bytes(rec.rx.data() + rec.received, want), want);
    if (n == 0) return Heard::kNothing;
    rec.received += n;
  }
  if (a.status == PlcAnswer::kBad) {
    DrainComPort(*rec.port, true);
    log(rec, asked.address, std::string(": answer refused (") + a.reason + ")");
    return Heard::kRefused;
  }
  const int first = asked.outputs ? kPlcOutputSlot : 0;
  LiveDataBlock* blk = dev.block(BlockKind::kAscii);
  bool firstAnswer = blk->withImage([&](Bytes b) {
    AsciiImage img(b);
    for (size_t i = 0; i < a.data.size(); ++i) img.setSlot(first + static_cast<int>(i), a.data[i]);
    img.setU8(plc_off::kLostRetries, 0);
    img.setU16(plc_off::kTimeoutCount, 0);
    img.setMask(ascii_off::kCurrentMask, img.mask(ascii_off::kCurrentMask) & ~kLostMask);
    bool was = img.u16(plc_off::kAnswered) != 0;
    img.setU16(plc_off::kAnswered, 1);
    return !was;
  });
  rec.received = 0;
  rec.awaiting = -1;
  if (firstAnswer) {
    log(rec, asked.address, " identified: " + std::to_string(asked.quantity) + " points");
  }
  return Heard::kStored;
}

void ModbusAsciiPlcEngine::timeoutRound(SerialPortRecord& rec, DeviceNode& dev) {
  const int bus = rec.awaiting;
  rec.port->purgeReceive();
  rec.received = 0;
  rec.awaiting = -1;
  bool lostNow = dev.block(BlockKind::kAscii)->withImage([](Bytes b) {
    AsciiImage img(b);
    img.setU16(plc_off::kTimeoutCount, 0);
    if (img.maskBit(ascii_off::kReportedMask, kPlcLostBit)) return false;
    uint8_t rounds = img.u8(plc_off::kLostRetries);
    if (rounds + 1 < kPlcLostRounds) {
      img.setU8(plc_off::kLostRetries, static_cast<uint8_t>(rounds + 1));
      return false;
    }
    bool was = img.maskBit(ascii_off::kCurrentMask, kPlcLostBit);
    img.setMaskBit(ascii_off::kCurrentMask, kPlcLostBit, true);
    img.setU8(plc_off::kLostRetries, kPlcLostRounds - 1);
    img.setU16(plc_off::kAnswered, 0);
    return !was;
  });
  if (lostNow) log(rec, bus, ": no answer; communication lost");
}

int ModbusAsciiPlcEngine::send(SerialPortRecord& rec, int bus) {
  int next = rec.nextPollable(bus, kCommPlc);
  if (next < 0) return 0;
  DeviceNode* nd = rec.devices[static_cast<size_t>(next)];
  LiveDataBlock* blk = nd->block(BlockKind::kAscii);
  if (blk == nullptr) return 0;
  // A PLC counts as answering from its first request on.
  if (nd->linkStatus() == kLinkUnidentified) nd->setLinkStatus(kLinkIdentified);
  const int step = blk->withImage([](Bytes b) {
    AsciiImage img(b);
    int s = img.i16(plc_off::kPollStep) == 0 ? 1 : 0;
    img.setI16(plc_off::kPollStep, static_cast<int16_t>(s));
    img.setU16(plc_off::kTimeoutCount, 0);
    return s;
  });
  std::string frame = BuildPlcRequest(next, step == 0 ? kPlcInputStart : kPlcOutputStart,
                                      PlcQuantity(nd->plcPointNum()));
  rec.setRequest(frame, next);
  rec.port->write(asBytes(frame));
  return 1;
}

}  // namespace lark
