#include "devices/binary/binary_ups.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "devices/binary/binary_live_data.h"
#include "devices/binary/binary_reply.h"

namespace lark {

namespace {

constexpr std::array<uint8_t, 8> kStatusTypes = {1, 2, 14, 4, 19, 22, 20, 24};

LiveDataBlock* BlockOf(DeviceNode* d) {
  return d != nullptr ? d->block(BlockKind::kBinary) : nullptr;
}

}  // namespace

bool IsBinaryQueryType(uint8_t type) {
  switch (type) {
    case 0:
    case 1:
    case 2:
    case 4:
    case 14:
    case 19:
    case 20:
    case 22:
    case 24:
    case 26:
    case 27:
    case 38:
      return true;
    default:
      return false;
  }
}

BinaryUpsEngine::BinaryUpsEngine(UpsEventLogBuffer& eventLog, SerialLogFn log)
    : eventLog_(eventLog), log_(std::move(log)) {}

void BinaryUpsEngine::log(const SerialPortRecord& rec, int bus, const std::string& text,
                          bool routine) const {
  const SerialLogFn& sink = routine && trace_ ? trace_ : log_;
  if (!sink) return;
  char head[40];
  std::snprintf(head, sizeof head, "COM%d 3-phase UPS %02d", rec.com, bus);
  sink(std::string(head) + text);
}

bool BinaryUpsEngine::accepts(const DeviceNode& node, uint8_t protocol) const {
  return protocol == kCommThreePhase && node.commType() == kCommThreePhase &&
         node.block(BlockKind::kBinary) != nullptr && node.linkStatus() != kLinkStopped;
}

void BinaryUpsEngine::markLost(DeviceNode& node) {
  LiveDataBlock* blk = node.block(BlockKind::kBinary);
  if (blk == nullptr) return;
  blk->withImage([](Bytes b) {
    BinaryImage img(b);
    img.setMaskBit(bin_off::kCurrentMask, kBinaryLinkLostBit, true);
    img.setLostCounter(kBinaryLostLimit);
  });
}

int BinaryUpsEngine::pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) {
  if (!rec.port) return 0;
  DeviceNode* d = rec.devices[static_cast<size_t>(bus)];
  LiveDataBlock* dblk = BlockOf(d);
  const bool fresh = dblk != nullptr && d->linkStatus() == kLinkUnidentified &&
                     dblk->withImage([](CBytes b) { return i16At(b, bin_off::kQueryIndex); }) == 0;
  if (fresh) {
    DrainComPort(*rec.port, false);
    rec.received = 0;
    rec.awaiting = -1;
  } else if (rec.awaiting >= 0) {
    const int asked = rec.awaiting;
    DeviceNode* dev = rec.devices[static_cast<size_t>(asked)];
    LiveDataBlock* blk = BlockOf(dev);
    if (blk == nullptr) {
      rec.port->purgeReceive();
      rec.received = 0;
      rec.awaiting = -1;
    } else if (receive(rec, *dev, *blk) == 1) {
      rec.received = 0;
      rec.awaiting = -1;
      const bool restored = blk->withImage([](Bytes b) {
        BinaryImage img(b);
        img.setLostCounter(0);
        if (!img.maskBit(bin_off::kReportedMask, kBinaryLinkLostBit) ||
            !img.maskBit(bin_off::kCurrentMask, kBinaryLinkLostBit)) {
          return false;
        }
        img.setMaskBit(bin_off::kCurrentMask, kBinaryLinkLostBit, false);
        img.setQueryIndex(0);
        return true;
      });
      if (restored) {
        dev->setLinkStatus(kLinkUnidentified);
        log(rec, asked, ": answering again; identifying");
      }
    } else {
      const bool expired = blk->withImage([&](Bytes b) {
        BinaryImage img(b);
        const uint16_t wc = img.waitCounter();
        if (wc < timeoutPolls) {
          img.setWaitCounter(static_cast<uint16_t>(wc + 1));
          return false;
        }
        return true;
      });
      if (!expired) return 0;
      rec.port->purgeReceive();
      rec.received = 0;
      rec.awaiting = -1;
      const bool lostNow = blk->withImage([](Bytes b) {
        BinaryImage img(b);
        if (img.maskBit(bin_off::kReportedMask, kBinaryLinkLostBit)) return false;
        if (img.lostCounter() >= kBinaryLostLimit) {
          const bool was = img.maskBit(bin_off::kCurrentMask, kBinaryLinkLostBit);
          img.setMaskBit(bin_off::kCurrentMask, kBinaryLinkLostBit, true);
          img.setLostCounter(kBinaryLostLimit);
          return !was;
        }
        img.setLostCounter(static_cast<uint8_t>(img.lostCounter() + 1));
        return false;
      });
      if (lostNow) log(rec, asked, ": no reply; communication lost");
    }
  }
  return send(rec, bus);
}

int BinaryUpsEngine::send(SerialPortRecord& rec, int bus) {
  DeviceNode* d = rec.devices[static_cast<size_t>(bus)];
  if (LiveDataBlock* blk = BlockOf(d)) {
    std::vector<uint8_t> head = blk->withImage([](Bytes b) {
      BinaryImage img(b);
      img.setWaitCounter(0);
      std::vector<uint8_t> f = img.queueHead();
      if (!f.empty()) img.queuePop();
      return f;
    });
    if (!head.empty()) {
      const auto frame = BuildBinaryFrame(static_cast<uint8_t>(bus), head);
      const std::string_view text(reinterpret_cast<const char*>(frame.data()), frame.size());
      rec.setRequest(text, bus);
      rec.port->write(CBytes(frame));
      return 1;
    }
  }

  const int next = rec.nextPollable(bus, kCommThreePhase);
  if (next < 0) return 0;
  DeviceNode* e = rec.devices[static_cast<size_t>(next)];
  LiveDataBlock* eblk = BlockOf(e);
  if (eblk == nullptr) return 0;
  uint16_t status = e->linkStatus();
  bool identified = false;
  const uint8_t type = eblk->withImage([&](Bytes b) {
    BinaryImage img(b);
    int idx = img.queryIndex() + 1;
    uint16_t polls = img.statusPolls();
    if (status == kLinkIdentified) {
      idx = std::max(idx, 0) % (img.modelByte() == 2 ? 8 : 4);
      ++polls;
    } else if (idx >= 2) {
      idx = 0;
      polls = 0;
      status = kLinkIdentified;
      identified = true;
    }
    const uint8_t t =
        status == kLinkIdentified ? kStatusTypes[static_cast<size_t>(idx)] : uint8_t{kBinIdentify};
    if (polls > kBinaryReidentifyAfter) {
      status = kLinkReidentify;
      polls = 0;
      idx = 0;
    }
    img.setQueryIndex(idx);
    img.setStatusPolls(polls);
    img.setWaitCounter(0);
    return t;
  });
  if (status != e->linkStatus()) e->setLinkStatus(status);
  if (identified) {
    const std::string model =
        eblk->withImage([](CBytes b) { return strAt(b, bin_off::kModel, bin_off::kModelSize); });
    log(rec, next, " identified: model \"" + model + "\"", true);
  }
  const uint8_t body[2] = {1, type};
  const auto frame = BuildBinaryFrame(static_cast<uint8_t>(next), CBytes(body));
  rec.setRequest(std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()), next);
  rec.port->write(CBytes(frame));
  return 1;
}

int BinaryUpsEngine::receive(SerialPortRecord& rec, DeviceNode& dev, LiveDataBlock& blk) {
  SerialPort& port = *rec.port;
  auto& rx = rec.rx;
  auto readMore = [&](size_t want) -> size_t {
    want = std::min({want, kBinaryMaxFrame - rec.received, SerialPort::kMaxRead});
    if (want == 0) return 0;
    const size_t n = port.read(Bytes(rx.data() + rec.received, want), want);
    rec.received += n;
    return n;
  };
  auto drop = [&]() {
    DrainComPort(port, true);
    rec.received = 0;
    return 0;
  };
  if (rec.received == 0 && readMore(1) == 0) return 0;
  const uint8_t askedType = rec.txLen > 3 ? rec.tx[3] : 0;
  if (rx[0] == kBinaryAck || rx[0] == kBinaryNak) {
    // An acknowledgement answers a control frame only.
    if (IsBinaryQueryType(askedType)) return drop();
    if (rx[0] == kBinaryNak) {
      char text[64];
      std::snprintf(text, sizeof text, ": refused the control frame of type 0x%02X", askedType);
      log(rec, rec.awaiting, text);
    }
    rec.received = 0;
    return 1;
  }
  while (rec.received < 3) {
    if (readMore(3 - rec.received) == 0) return 0;
  }
  if (rx[0] != kBinaryHeader) return drop();
  size_t total = 0;
  BinaryFrameState st = CheckBinaryFrame(CBytes(rx.data(), rec.received), &total);
  if (st == BinaryFrameState::kBad) return drop();
  while (st == BinaryFrameState::kIncomplete) {
    if (readMore(total - rec.received) == 0) return 0;
    st = CheckBinaryFrame(CBytes(rx.data(), rec.received), &total);
  }
  const CBytes frame(rx.data(), total);
  const uint8_t askedAddress = rec.txLen > 1 ? rec.tx[1] : 0;
  if (!BinaryFrameAnswers(frame, askedAddress, askedType)) {
    rec.received = 0;
    return 0;
  }
  BinaryReplyEffects fx;
  const bool decoded = blk.withImage([&](Bytes b) {
    if (!DecodeBinaryReply(b, frame, &fx)) return false;
    if (!fx.queueFrame.empty()) BinaryImage(b).queuePush(fx.queueFrame);
    return true;
  });
  rec.received = 0;
  if (!decoded) {
    log(rec, rec.awaiting, ": reply too short for its type; dropped");
    return 0;
  }
  if (fx.operatingState >= 0) dev.setUpsTypeCode(static_cast<uint8_t>(fx.operatingState));
  if (fx.logWrite) eventLog_.write(fx.logOffset, CBytes(fx.logBytes));
  return 1;
}

// ---- commands ----

std::vector<uint8_t> BinaryUpsEngine::BuildSerialCommand(const DeviceNode& node, int code, int arg1,
                                                         int arg2) {
  auto lo = [](int v) { return static_cast<uint8_t>(v & 0xFF); };
  auto hi = [](int v) { return static_cast<uint8_t>((v >> 8) & 0xFF); };
  switch (code) {
    case 1611:
    case 1612: {
      const LiveDataBlock* blk = node.block(BlockKind::kBinary);
      const int32_t kind = blk ? blk->slot(104) : -1;
      const int32_t length = blk ? blk->slot(105) : -1;
      return {4, kBinTest, lo(kind), lo(length), hi(length)};
    }
    case 1615:
      return {2, kBinBuzzer, 0xFF};
    case 1616:
      return {2, kBinBuzzer, 0x00};
    case 1618:
      return {5, kBinShutdown, lo(arg1), hi(arg1), 0xFF, 0xFF};
    case 1619:
      return {5, kBinShutdown, lo(arg2), hi(arg2), lo(arg1), hi(arg1)};
    default:
      return {};
  }
}

bool BinaryUpsEngine::QueueSerialCommands(DeviceNode& node,
                                          std::span<const std::vector<uint8_t>> frames) {
  LiveDataBlock* blk = node.block(BlockKind::kBinary);
  if (blk == nullptr) return false;
  return blk->withImage([&](Bytes b) {
    BinaryImage img(b);
    if (frames.size() > static_cast<size_t>(kBinaryQueueDepth - img.queueCount())) return false;
    for (const auto& f : frames) {
      if (f.empty() || f.size() > kBinaryQueueFrameSize) return false;
    }
    for (const auto& f : frames) img.queuePush(CBytes(f));
    return true;
  });
}

bool BinaryUpsEngine::QueueSerialCommand(DeviceNode& node, CBytes frame) {
  const std::vector<uint8_t> one(frame.begin(), frame.end());
  return QueueSerialCommands(node, std::span<const std::vector<uint8_t>>(&one, 1));
}

void BinaryUpsEngine::DropSerialCommand(DeviceNode& node) {
  LiveDataBlock* blk = node.block(BlockKind::kBinary);
  if (blk == nullptr) return;
  blk->withImage([](Bytes b) { BinaryImage(b).queuePop(); });
}

}  // namespace lark
