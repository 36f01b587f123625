#include "common/modem_port.h"

#include <sys/stat.h>

#include "platform/paths.h"

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
  struct stat st;
  if (append && stat(path.c_str(), &st) == 0 &&
      static_cast<uint64_t>(st.st_size) > kSmsLogRotateBytes)
    std::rename(path.c_str(), (path + ".old").c_str());
  file_ = OpenRegularStream(path, append ? "ab" : "wb");
  traced_ = held_ = 0;
  return file_ != nullptr;
}

void SmsLogFile::put(std::string_view text) {
  if (file_ == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

void SmsLogFile::sayHeldBack() {
  if (held_ == 0) return;
  put("... " + std::to_string(held_) + " bytes more\n");
  held_ = 0;
}

void SmsLogFile::write(std::string_view text) {
  sayHeldBack();
  put(text);
}

void SmsLogFile::trace(std::string_view line) {
  if (traced_ + line.size() > kSmsTraceBytes) {
    traced_ = kSmsTraceBytes;  // nothing more of this opening, even a short line
    held_ += line.size();
    return;
  }
  traced_ += line.size();
  put(line);
}

void SmsLogFile::close() {
  sayHeldBack();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool TracedModemPort::write(std::string_view bytes) {
  log_.trace(ModemTraceLine("Tx: ", bytes));
  return port_.write(bytes);
}

std::string TracedModemPort::read(size_t max, uint32_t firstMs) {
  std::string got = port_.read(max, firstMs);
  if (!got.empty()) log_.trace(ModemTraceLine("Rx: ", got));
  return got;
}

}  // namespace lark
