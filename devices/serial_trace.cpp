#include "devices/serial_trace.h"

#include <cstdio>

#include "platform/paths.h"

namespace lark {

std::string TraceFrameText(uint8_t protocol, CBytes bytes, size_t maxChars) {
  std::string out;
  char item[8];
  for (uint8_t b : bytes) {
    int n;
    if (protocol != 0) {
      n = std::snprintf(item, sizeof item, "%02X ", b);
    } else if (b >= 32 && b <= 126) {
      item[0] = static_cast<char>(b);
      item[1] = '\0';
      n = 1;
    } else {
      n = std::snprintf(item, sizeof item, "<%02x>", b);
    }
    if (out.size() + static_cast<size_t>(n) > maxChars) break;
    out.append(item, static_cast<size_t>(n));
  }
  return out;
}

SerialTrace::SerialTrace(const Clock& clock, std::string dir)
    : clock_(clock), dir_(std::move(dir)) {}

SerialTrace::~SerialTrace() {
  std::lock_guard<std::mutex> g(mu_);
  closeLocked();
}

std::string SerialTrace::fileNameFor(const WallTime& t) const {
  char name[40];
  std::snprintf(name, sizeof name, "SerialMonitor-%02d-%02d.txt", t.month, t.day);
  return JoinPath(dir_, name);
}

bool SerialTrace::openLocked(const WallTime& t) {
  closeLocked();
  file_ = std::fopen(fileNameFor(t).c_str(), "a+");
  fileDay_ = t.day;
  return file_ != nullptr;
}

void SerialTrace::closeLocked() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void SerialTrace::start(uint32_t portFilter, int32_t minutes) {
  std::lock_guard<std::mutex> g(mu_);
  filter_ = portFilter;
  minutesLeft_ = minutes;
  on_ = true;
  openLocked(clock_.now());
}

void SerialTrace::stop() {
  std::lock_guard<std::mutex> g(mu_);
  on_ = false;
  closeLocked();
}

bool SerialTrace::isOn() const {
  std::lock_guard<std::mutex> g(mu_);
  return on_;
}

uint32_t SerialTrace::portFilter() const {
  std::lock_guard<std::mutex> g(mu_);
  return filter_;
}

void SerialTrace::minuteTick() {
  std::lock_guard<std::mutex> g(mu_);
  if (!on_) return;
  if (--minutesLeft_ < 1) {
    on_ = false;
    closeLocked();
  }
}

void SerialTrace::traceFrame(int com, uint8_t protocol, CBytes bytes, TraceDirection dir) {
  {
    std::lock_guard<std::mutex> g(mu_);
    if (!on_ || (filter_ != 0 && filter_ != static_cast<uint32_t>(com))) return;
  }
  size_t room = dir == TraceDirection::kTransmit ? kMaxTransmitText : kMaxReceiveText;
  WriteSerialMonitorLine(com, TraceFrameText(protocol, bytes, room), dir);
}

void SerialTrace::WriteSerialMonitorLine(int com, std::string_view text, TraceDirection dir) {
  std::lock_guard<std::mutex> g(mu_);
  if (!on_) return;
  WallTime t = clock_.now();
  // A new local day starts the next day's file; a file that cannot be opened
  // leaves the trace silent until the day changes.
  if (t.day != fileDay_) openLocked(t);
  if (file_ == nullptr) return;
  uint32_t d = static_cast<uint32_t>(dir);
  bool append = d == lastDir_ && dir == TraceDirection::kReceive && com == lastCom_;
  if (!append) {
    // Windows wrote this file in text mode: lines end with CRLF.
    std::fprintf(file_, "\r\n%02d:%02d:%02d COM%d %s: ", t.hour, t.minute, t.second, com,
                 dir == TraceDirection::kTransmit ? "Tx>" : "Rx<");
  }
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
  lastDir_ = d;
  lastCom_ = com;
}

}  // namespace lark
