// Fuzz target for the Modbus RTU master: devices of every type on one line,
// each request (every row of the poll table in turn, identification included)
// answered by the next piece of the input: a flag byte (bit 0: append the
// right CRC, so answers reach the register maps), a length byte, then that
// many bytes. Answers go through the RTU check into the register maps.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/checksum.h"
#include "core/device_node.h"
#include "devices/modbus/modbus_rtu.h"
#include "devices/port_table.h"
#include "platform/clock.h"

namespace {

using namespace lark;

class FuzzPort final : public SerialPort {
 public:
  FuzzPort(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  void purgeReceive() override { pending_.clear(); }
  bool failed() const override { return false; }
  void sleepMs(uint32_t) override {}
  bool exhausted() const { return pos_ >= size_; }

 protected:
  ssize_t writeSome(CBytes frame) override {
    // The next piece of the input answers this request.
    if (pos_ + 1 < size_) {
      const bool withCrc = (data_[pos_] & 1) != 0;
      const size_t want = data_[pos_ + 1];
      pos_ += 2;
      const size_t n = std::min(want, size_ - pos_);
      pending_.assign(reinterpret_cast<const char*>(data_ + pos_), n);
      pos_ += n;
      if (withCrc) {
        const uint16_t crc = Crc16Modbus(asBytes(pending_));
        pending_.push_back(static_cast<char>(crc & 0xFF));
        pending_.push_back(static_cast<char>(crc >> 8));
      }
    } else {
      pos_ = size_;
    }
    return static_cast<ssize_t>(frame.size());
  }
  size_t readTimed(Bytes out, size_t wanted) override {
    const size_t n = std::min(wanted, pending_.size());
    std::copy_n(pending_.data(), n, out.data());
    pending_.erase(0, n);
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  std::string pending_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FakeClock clock(1000);
  ModbusRtuEngine engine(clock, nullptr);
  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  SerialPortRecord rec;
  rec.com = 1;
  rec.protocol = kCommModbusUps;
  const int16_t types[] = {kCommModbusUps, kCommModbusTrv5200, kCommModbus9315,
                           kCommInverter,  kCommSensor,        kCommMeter};
  for (int i = 0; i < 6; ++i) {
    auto n = std::make_unique<DeviceNode>();
    n->setNodeKind(kNodeSerial);
    n->setUpsId(static_cast<int16_t>(i + 1));
    n->setCommType(types[i]);
    KeepOnlyCommTypeBlock(*n);
    if (types[i] == kCommSensor) PresetTwoPointSensor(*n->block(BlockKind::kSensor));
    if (types[i] == kCommModbusUps) n->block(BlockKind::kModbus)->putI32(1436, 3);
    rec.devices[static_cast<size_t>(i + 1)] = root.addChild(n);
  }
  auto port = std::make_unique<FuzzPort>(data, size);
  FuzzPort* p = port.get();
  rec.port = std::move(port);
  for (int step = 0; step < 4000 && !p->exhausted(); ++step) {
    clock.advance(300);
    if (engine.pollStep(rec, rec.currentSlot, 2) != 0) {
      rec.currentSlot = static_cast<uint8_t>(rec.currentSlot % 6 + 1);
    }
  }
  return 0;
}
