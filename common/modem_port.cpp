#include "common/modem_port.h"

namespace lark {

std::unique_ptr<TermiosModemPort> TermiosModemPort::open(const std::string& path, uint32_t baud,
                                                         std::string* error) {
  auto line = SerialLine::open(path, SerialLineParams{baud, false, 8}, 0, ModemLines::kDtrAndRts,
                               error, nullptr);
  if (!line) return nullptr;
  line->purgeReceive();
  return std::unique_ptr<TermiosModemPort>(new TermiosModemPort(std::move(line)));
}

bool TermiosModemPort::write(std::string_view bytes) {
  size_t done = 0;
  // A line that takes nothing for a few tries is stuck: the write is given up.
  for (int idle = 0; done < bytes.size() && idle < 10;) {
    ssize_t n = line_->writeSome(reinterpret_cast<const uint8_t*>(bytes.data()) + done,
                                 bytes.size() - done);
    if (n < 0) return false;
    if (n == 0) {
      ++idle;
      continue;
    }
    done += static_cast<size_t>(n);
  }
  return done == bytes.size();
}

std::string TermiosModemPort::read(size_t max, uint32_t firstMs) {
  std::string out(max, '\0');
  size_t n = line_->readTimed(reinterpret_cast<uint8_t*>(out.data()), max, firstMs, kModemGapMs);
  out.resize(n);
  return out;
}

std::string ModemTraceLine(std::string_view prefix, std::string_view bytes) {
  std::string line(prefix);
  for (char c : bytes) {
    auto u = static_cast<uint8_t>(c);
    if (u >= 32 && u <= 126) {
      line += c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      line += "[0x";
      line += kHex[u >> 4];
      line += kHex[u & 15];
      line += ']';
    }
  }
  line += '\n';
  return line;
}

bool SmsLogFile::open(const std::string& path, bool append) {
  close();
  file_ = std::fopen(path.c_str(), append ? "ae" : "we");
  return file_ != nullptr;
}

void SmsLogFile::write(std::string_view text) {
  if (file_ == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

void SmsLogFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool TracedModemPort::write(std::string_view bytes) {
  log_.write(ModemTraceLine("Tx: ", bytes));
  return port_.write(bytes);
}

std::string TracedModemPort::read(size_t max, uint32_t firstMs) {
  std::string got = port_.read(max, firstMs);
  if (!got.empty()) log_.write(ModemTraceLine("Rx: ", got));
  return got;
}

}  // namespace lark
