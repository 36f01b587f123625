#include "tests/support/scripted_modbus_slave.h"

#include "common/checksum.h"

namespace lark::test {

std::string WithCrc(std::string body) {
  const uint16_t crc = Crc16Modbus(asBytes(body));
  body.push_back(static_cast<char>(crc & 0xFF));
  body.push_back(static_cast<char>(crc >> 8));
  return body;
}

ScriptedModbusSlaves::ScriptedModbusSlaves(std::shared_ptr<ScriptedLine> line)
    : line_(std::move(line)) {
  line_->setResponder([this](const std::string& f) { onFrame(f); });
}

std::string ScriptedModbusSlaves::answerTo(const std::string& req) const {
  const auto b = [&](size_t i) { return static_cast<uint8_t>(req[i]); };
  const int address = b(0), function = b(1);
  const int start = (b(2) << 8) | b(3), quantity = (b(4) << 8) | b(5);
  std::string out = {static_cast<char>(address), static_cast<char>(function)};
  auto regs = regs_.find(address);
  if (function == 3 || function == 4) {
    out.push_back(static_cast<char>(2 * quantity));
    for (int r = start; r < start + quantity; ++r) {
      uint16_t v = 0;
      if (regs != regs_.end() && regs->second.count(r)) v = regs->second.at(r);
      out.push_back(static_cast<char>(v >> 8));
      out.push_back(static_cast<char>(v & 0xFF));
    }
  } else if (function == 1 || function == 2) {
    std::string bits((quantity + 7) / 8, '\0');
    auto in = inputs_.find(address);
    for (int n = 0; n < quantity && in != inputs_.end(); ++n) {
      auto it = in->second.find(start + n);
      if (it != in->second.end() && it->second)
        bits[n / 8] = static_cast<char>(bits[n / 8] | (1 << (n % 8)));
    }
    out.push_back(static_cast<char>(bits.size()));
    out += bits;
  } else {
    out = req.substr(0, 6);
  }
  return WithCrc(out);
}

void ScriptedModbusSlaves::onFrame(const std::string& f) {
  if (f.size() < 8) return;
  const int address = static_cast<uint8_t>(f[0]);
  ++requests[address];
  if (!regs_.count(address) || silent.count(address)) return;
  const int function = static_cast<uint8_t>(f[1]);
  if (function == 5 || function == 6) {
    writes.push_back({address, function,
                      (static_cast<uint8_t>(f[2]) << 8) | static_cast<uint8_t>(f[3]),
                      (static_cast<uint8_t>(f[4]) << 8) | static_cast<uint8_t>(f[5])});
  }
  if (ignoreWrites && (function == 5 || function == 6)) return;
  if (nextReply) {
    auto reply = std::move(nextReply);
    nextReply = nullptr;
    line_->feed(reply(f, answerTo(f)));
    return;
  }
  line_->feed(answerTo(f));
}

}  // namespace lark::test
