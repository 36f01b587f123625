#include "devices/ascii_ups.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/checksum.h"
#include "common/tokenizer.h"
#include "devices/ascii_answer.h"

namespace lark {

namespace {

constexpr uint32_t kChecksumWaitMs = 10;
constexpr int kGarbageRounds = 4;  // header re-syncs per step

bool SumMatches(std::string_view digits, CBytes frame) {
  return ParseHexText(digits) == Sum8(frame);
}

}  // namespace

AsciiUpsEngine::AsciiUpsEngine(UpsEventLogBuffer& eventLog, SerialLogFn log)
    : eventLog_(eventLog), log_(std::move(log)) {}

void AsciiUpsEngine::log(const SerialPortRecord& rec, int bus, const std::string& text,
                         bool routine) const {
  const SerialLogFn& sink = routine && trace_ ? trace_ : log_;
  if (!sink) return;
  char head[32];
  std::snprintf(head, sizeof head, "COM%d UPS %02d", rec.com, bus);
  sink(std::string(head) + text);
}

bool AsciiUpsEngine::accepts(const DeviceNode& node, uint8_t protocol) const {
  return protocol == kCommAscii && node.commType() == kCommAscii &&
         node.block(BlockKind::kAscii) != nullptr && node.linkStatus() != kLinkStopped;
}

void AsciiUpsEngine::markLost(DeviceNode& node) {
  LiveDataBlock* blk = node.block(BlockKind::kAscii);
  if (blk == nullptr) return;
  blk->withImage([](Bytes b) {
    AsciiImage img(b);
    img.setMaskBit(ascii_off::kCurrentMask, kLinkLostBit, true);
    img.setLostCounter(kAsciiLostLimit);
  });
}

int AsciiUpsEngine::pollStep(SerialPortRecord& rec, int bus, uint32_t timeoutPolls) {
  if (!rec.port) return 0;
  if (rec.awaiting >= 0) {
    const int asked = rec.awaiting;
    DeviceNode* dev = rec.devices[static_cast<size_t>(asked)];
    LiveDataBlock* blk = dev != nullptr ? dev->block(BlockKind::kAscii) : nullptr;
    if (blk == nullptr) {
      rec.port->purgeReceive();
      rec.received = 0;
      rec.awaiting = -1;
    } else if (receive(rec, *dev, *blk) == 1) {
      rec.received = 0;
      rec.awaiting = -1;
      bool restored = blk->withImage([](Bytes b) {
        AsciiImage img(b);
        img.setLostCounter(0);
        if (!img.maskBit(ascii_off::kReportedMask, kLinkLostBit) ||
            !img.maskBit(ascii_off::kCurrentMask, kLinkLostBit)) {
          return false;
        }
        // The loss has been reported: clear it and identify the device anew.
        img.setMaskBit(ascii_off::kCurrentMask, kLinkLostBit, false);
        img.setChecksumFlag(false);
        img.setQueryIndex(0);
        return true;
      });
      if (restored) {
        dev->setLinkStatus(kLinkUnidentified);
        log(rec, asked, ": answering again; identifying");
      }
    } else {
      bool expired = blk->withImage([&](Bytes b) {
        AsciiImage img(b);
        uint16_t wc = img.waitCounter();
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
      bool lostNow = blk->withImage([](Bytes b) {
        AsciiImage img(b);
        if (img.maskBit(ascii_off::kReportedMask, kLinkLostBit)) return false;
        if (img.lostCounter() >= kAsciiLostLimit) {
          bool was = img.maskBit(ascii_off::kCurrentMask, kLinkLostBit);
          img.setMaskBit(ascii_off::kCurrentMask, kLinkLostBit, true);
          img.setLostCounter(kAsciiLostLimit);
          return !was;
        }
        img.setLostCounter(static_cast<uint8_t>(img.lostCounter() + 1));
        return false;
      });
      if (lostNow) log(rec, asked, ": no answer; communication lost");
    }
  }
  return send(rec, bus);
}

int AsciiUpsEngine::send(SerialPortRecord& rec, int bus) {
  DeviceNode* dev = rec.devices[static_cast<size_t>(bus)];
  LiveDataBlock* blk = dev != nullptr ? dev->block(BlockKind::kAscii) : nullptr;
  if (blk != nullptr) {
    bool identifying = dev->linkStatus() == kLinkUnidentified;
    bool checksum = false;
    std::string head = blk->withImage([&](Bytes b) {
      AsciiImage img(b);
      img.setWaitCounter(0);
      std::string text = img.queueHead();
      if (!text.empty()) img.queuePop();
      checksum = img.checksumFlag();
      return text;
    });
    if (!head.empty()) {
      std::string frame = BuildCommandFrame(bus, head, checksum || identifying);
      rec.setRequest(frame, bus);
      rec.port->write(asBytes(frame));
      return 1;
    }
  }

  int next = rec.nextPollable(bus, kCommAscii);
  if (next < 0) return 0;
  DeviceNode* nd = rec.devices[static_cast<size_t>(next)];
  LiveDataBlock* nblk = nd->block(BlockKind::kAscii);
  if (nblk == nullptr) return 0;
  const bool identifying = nd->linkStatus() == kLinkUnidentified;
  bool identified = false;
  bool checksum = false;
  std::string code = nblk->withImage([&](Bytes b) {
    AsciiImage img(b);
    int idx = img.queryIndex() + 1;
    std::string c;
    if (identifying) {
      if (idx < 1) idx = 1;
      if (idx >= kIdentQueryCount) {
        identified = true;  // the status cycle starts; this request still carries a sum
        idx = 0;
        c = kStatusQueries[0];
      } else {
        c = kIdentQueries[static_cast<size_t>(idx)];
      }
    } else {
      idx = idx < 0 ? 0 : idx % kStatusCycleCount;
      for (;;) {
        int bit = kStatusCapabilityBit[static_cast<size_t>(idx)];
        if (bit < 0 || img.capability(bit)) break;
        if (++idx >= kStatusCycleCount) idx = 0;
      }
      c = kStatusQueries[static_cast<size_t>(idx)];
    }
    img.setQueryIndex(idx);
    img.setWaitCounter(0);
    checksum = img.checksumFlag() || identifying;
    return c;
  });
  if (identified) {
    nd->setLinkStatus(kLinkIdentified);
    auto [model, firmware, serial, sums] = nblk->withImage([](Bytes b) {
      AsciiImage img(b);
      return std::make_tuple(img.text(ascii_off::kModel, ascii_off::kModelSize),
                             img.text(ascii_off::kFirmware, ascii_off::kFirmwareSize),
                             img.text(ascii_off::kSerialNumber, ascii_off::kSerialNumberSize),
                             img.checksumFlag());
    });
    log(rec, next,
        " identified: model \"" + model + "\", firmware \"" + firmware + "\", serial \"" + serial +
            "\", checksums " + (sums ? "on" : "off"),
        true);
  }
  std::string frame = BuildQueryFrame(next, code, checksum);
  rec.setRequest(frame, next);
  rec.port->write(asBytes(frame));
  return 1;
}

int AsciiUpsEngine::receive(SerialPortRecord& rec, DeviceNode& dev, LiveDataBlock& blk) {
  SerialPort& port = *rec.port;
  auto& rx = rec.rx;
  auto readMore = [&](size_t want) -> size_t {
    size_t room = kAsciiRxBufferSize - rec.received;
    want = std::min({want, room, SerialPort::kMaxRead});
    if (want == 0) return 0;
    size_t n = port.read(Bytes(rx.data() + rec.received, want), want);
    rec.received += n;
    return n;
  };
  auto dropFrame = [&]() {
    DrainComPort(port, true);
    rec.received = 0;
    return 0;
  };

  // The header; bytes before a "~" are line noise and are dropped.
  for (int round = 0;; ++round) {
    while (rec.received < kAsciiHeaderSize) {
      if (readMore(kAsciiHeaderSize - rec.received) == 0) return 0;
    }
    if (rx[0] == '~') break;
    auto tilde = std::find(rx.begin() + 1, rx.begin() + static_cast<std::ptrdiff_t>(rec.received),
                           static_cast<uint8_t>('~'));
    size_t keep =
        static_cast<size_t>(rx.begin() + static_cast<std::ptrdiff_t>(rec.received) - tilde);
    std::memmove(rx.data(), &*tilde, keep);
    rec.received = keep;
    if (round + 1 >= kGarbageRounds) return 0;
  }
  if (CheckAnswerHeader(CBytes(rx.data(), kAsciiHeaderSize), rec.awaiting) != AsciiHeader::kOk) {
    return dropFrame();
  }
  const bool checksum = blk.withImage([](Bytes b) { return AsciiImage(b).checksumFlag(); });
  auto sumRefused = [&](size_t frameLen) {
    if (!checksum) return false;
    port.sleepMs(kChecksumWaitMs);
    uint8_t sum[2];
    if (port.read(Bytes(sum, 2), 2) != 2) return false;
    return !SumMatches(std::string_view(reinterpret_cast<char*>(sum), 2),
                       CBytes(rx.data(), frameLen));
  };

  switch (rx[3]) {
    case 'A':
      DrainComPort(port, true);
      return 1;
    case 'D': {
      while (rec.received < kAsciiDataHeaderSize) {
        if (readMore(kAsciiDataHeaderSize - rec.received) == 0) return 0;
      }
      int len = AnswerDataLength(CBytes(rx.data(), rec.received));
      // An answer longer than the receive buffer is dropped whole.
      if (len < 0 || static_cast<size_t>(len) > kAsciiMaxPayload) return dropFrame();
      const size_t total = kAsciiDataHeaderSize + static_cast<size_t>(len);
      while (rec.received < total) {
        if (readMore(total - rec.received) == 0) return 0;
      }
      if (sumRefused(total)) {
        rec.received = 0;
        return 0;
      }
      parse(rec, dev, blk, static_cast<size_t>(len));
      return 1;
    }
    case 'R': {
      if (sumRefused(kAsciiHeaderSize)) {
        rec.received = 0;
        return 0;
      }
      std::string code = RequestCode(CBytes(rec.tx.data(), rec.txLen));
      bool identifying = dev.linkStatus() == kLinkUnidentified;
      blk.withImage([&](Bytes b) {
        AsciiImage img(b);
        ApplyRefusal(img, identifying, code);
      });
      return 1;
    }
    default:
      return dropFrame();
  }
}

void AsciiUpsEngine::parse(SerialPortRecord& rec, DeviceNode& dev, LiveDataBlock& blk,
                           size_t payloadLen) {
  const size_t total = kAsciiDataHeaderSize + payloadLen;
  std::string_view payload(reinterpret_cast<const char*>(rec.rx.data()) + kAsciiDataHeaderSize,
                           payloadLen);
  std::string code = RequestCode(CBytes(rec.tx.data(), rec.txLen));
  const bool identifying = dev.linkStatus() == kLinkUnidentified;
  AnswerEffects fx;
  if (identifying) {
    // A device that sends sums after its answers checks them too.
    bool sumsSeen = false;
    bool flag = blk.withImage([](Bytes b) { return AsciiImage(b).checksumFlag(); });
    if (!flag) {
      uint8_t sum[2];
      if (rec.port->read(Bytes(sum, 2), 2) == 2) {
        sumsSeen = SumMatches(std::string_view(reinterpret_cast<char*>(sum), 2),
                              CBytes(rec.rx.data(), total));
      }
    }
    int idx = IdentIndexOf(code);
    blk.withImage([&](Bytes b) {
      AsciiImage img(b);
      if (sumsSeen) img.setChecksumFlag(true);
      if (idx > 0) ApplyIdentAnswer(img, idx, payload, &fx);
    });
  } else {
    int idx = StatusIndexOf(code);
    if (idx < 0) return;
    uint8_t upsType = dev.upsTypeCode();
    blk.withImage([&](Bytes b) {
      AsciiImage img(b);
      ApplyStatusAnswer(img, idx, payload, upsType, &fx);
    });
  }
  if (fx.upsTypeCode >= 0) dev.setUpsTypeCode(static_cast<uint8_t>(fx.upsTypeCode));
  if (fx.status2 >= 0) dev.setStatus2(static_cast<uint8_t>(fx.status2));
  for (const auto& w : fx.logWrites) {
    if (w.clearEntry) eventLog_.clear(w.offset, UpsEventLogBuffer::kEntrySize);
    eventLog_.write(w.offset, asBytes(w.bytes));
  }
}

std::string AsciiUpsEngine::BuildSerialProtocolCommand(const DeviceNode& node, int code, int arg1,
                                                       int arg2) {
  (void)arg2;  // the restore delay goes out as a second command (1618)
  const LiveDataBlock* blk = node.block(BlockKind::kAscii);
  uint64_t caps = blk != nullptr
                      ? blk->withImage([](CBytes b) { return u64At(b, ascii_off::kCapabilities); })
                      : 0;
  auto cap = [&](int bit) { return ((caps >> bit) & 1u) != 0; };
  std::string text;
  switch (code) {
    case kCmdTestShort:
      text = "S004TST3";
      break;
    case kCmdTestLong:
      text = "S004TST4";
      break;
    case kCmdTestCancel:
      text = "S004TST0";
      break;
    case kCmdBuzzerOn:
      text = cap(42) ? "S004EDB1" : "S004BUZ1";
      break;
    case kCmdBuzzerOff:
      text = cap(42) ? "S004EDB2" : "S004BUZ2";
      break;
    case kCmdBatteryTest:
      text = "S004BTT" + std::to_string(arg1);
      break;
    case kCmdShutdown:
      text = "S004SDA" + std::to_string(arg1 == 0 ? 1 : arg1);
      break;
    case kCmdShutdownRestore:
      text = "S004SDR" + std::to_string(arg1);
      break;
    case kCmdShutdownCancel:
      text = "S004SDA0";
      break;
    case kCmdEmergencyOff:
      if (!cap(44)) return std::string();
      text = "S004EPO" + std::to_string(int64_t{arg1} + 1);  // arg1 comes from a console
      break;
    default:
      return std::string();
  }
  if (text.size() > kAsciiQueueTextSize) return std::string();
  // The payload length; a long argument takes both digits, not a ':' or '='.
  return WithLengthDigits(std::move(text));
}

bool AsciiUpsEngine::QueueSerialProtocolCommand(DeviceNode& node, std::string_view text) {
  LiveDataBlock* blk = node.block(BlockKind::kAscii);
  if (blk == nullptr) return false;
  return blk->withImage([&](Bytes b) { return AsciiImage(b).queuePush(text); });
}

bool AsciiUpsEngine::QueueSerialProtocolCommands(DeviceNode& node,
                                                 std::span<const std::string> texts) {
  LiveDataBlock* blk = node.block(BlockKind::kAscii);
  if (blk == nullptr) return false;
  return blk->withImage([&](Bytes b) {
    AsciiImage img(b);
    if (texts.size() > static_cast<size_t>(kAsciiQueueDepth - img.queueCount())) return false;
    for (const std::string& t : texts) {
      if (t.empty() || t.size() > kAsciiQueueTextSize) return false;
    }
    for (const std::string& t : texts) img.queuePush(t);
    return true;
  });
}

void AsciiUpsEngine::DropSerialProtocolCommand(DeviceNode& node) {
  LiveDataBlock* blk = node.block(BlockKind::kAscii);
  if (blk == nullptr) return;
  blk->withImage([](Bytes b) { AsciiImage(b).queuePop(); });
}

}  // namespace lark
