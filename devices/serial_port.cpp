#include "devices/serial_port.h"

#include <chrono>
#include <thread>

namespace lark {

// ---- SerialPort ----

void SerialPort::attachTrace(SerialTrace* trace, int com, uint8_t protocol) {
  trace_ = trace;
  com_ = com;
  protocol_ = protocol;
}

bool SerialPort::write(CBytes frame) {
  size_t done = 0;
  for (int i = 0; i < kWriteTries && done < frame.size(); ++i) {
    ssize_t n = writeSome(frame.subspan(done));
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (trace_ != nullptr) trace_->traceFrame(com_, protocol_, frame, TraceDirection::kTransmit);
  return done == frame.size();
}

size_t SerialPort::read(Bytes out, size_t wanted) {
  if (wanted == 0 || wanted > kMaxRead || wanted > out.size()) return 0;
  size_t n = readTimed(out.first(wanted), wanted);
  if (n > wanted) n = wanted;
  if (n > 0 && trace_ != nullptr) {
    trace_->traceFrame(com_, protocol_, CBytes(out.data(), n), TraceDirection::kReceive);
  }
  return n;
}

size_t DrainComPort(SerialPort& port, bool pause) {
  uint8_t buf[8];
  size_t total = port.read(Bytes(buf, sizeof buf), 1);
  if (total == 0) return 0;
  while (total < kMaxDrainBytes && !port.failed()) {
    size_t n = port.read(Bytes(buf, sizeof buf), 5);
    if (n == 0) break;
    total += n;
    if (pause) port.sleepMs(5);
  }
  return total;
}

void WaitMilliseconds(const Clock& clock, uint32_t ms) {
  uint32_t start = clock.tickMs();
  while (TickElapsed(clock.tickMs(), start) < ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// ---- TermiosSerialPort ----

std::unique_ptr<TermiosSerialPort> TermiosSerialPort::open(const std::string& path,
                                                           const SerialLineParams& params,
                                                           uint32_t settleMs, std::string* error,
                                                           std::set<std::string>* notes) {
  auto line = SerialLine::open(path, params, settleMs, ModemLines::kRtsOnly, error, notes);
  if (!line) return nullptr;
  return std::unique_ptr<TermiosSerialPort>(new TermiosSerialPort(std::move(line)));
}

void TermiosSerialPort::purgeReceive() { line_->purgeReceive(); }

void TermiosSerialPort::sleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ssize_t TermiosSerialPort::writeSome(CBytes data) {
  return line_->writeSome(data.data(), data.size());
}

// 1 ms per wanted byte for the first, then kInterByteMs of silence ends it.
size_t TermiosSerialPort::readTimed(Bytes out, size_t wanted) {
  return line_->readTimed(out.data(), wanted, static_cast<uint32_t>(wanted), kInterByteMs);
}

// ---- TermiosPortOpener ----

TermiosPortOpener::TermiosPortOpener(ComPortResolver resolver, SerialLogFn log, uint32_t settleMs)
    : resolver_(std::move(resolver)), log_(std::move(log)), settleMs_(settleMs) {}

void TermiosPortOpener::setPortPaths(std::map<int, std::string> paths) {
  std::lock_guard<std::mutex> g(mu_);
  resolver_.overrides = std::move(paths);
}

std::unique_ptr<SerialPort> TermiosPortOpener::open(int com, const SerialLineParams& params) {
  std::string path;
  {
    std::lock_guard<std::mutex> g(mu_);
    path = resolver_.resolve(com);
  }
  std::string error;
  std::set<std::string> notes;
  auto port = TermiosSerialPort::open(path, params, settleMs_, &error, &notes);
  std::lock_guard<std::mutex> g(mu_);
  std::string name = "COM" + std::to_string(com);
  if (!port) {
    // Every pass retries a failed open: log the failure once per change.
    std::string& last = lastFailure_[com];
    if (last != error) {
      last = error;
      if (log_) log_(name + ": cannot open: " + error);
    }
    return nullptr;
  }
  if (!lastFailure_[com].empty()) {
    lastFailure_[com].clear();
    if (log_) log_(name + ": opened " + path);
  }
  const SerialLogFn& sink = trace_ ? trace_ : log_;
  for (const std::string& note : notes) {
    if (!loggedNotes_.insert(name + " " + note).second) continue;
    if (!sink) continue;
    if (note == "parity") {
      sink(name + " (" + path + "): the line keeps no parity or 7 data bits; using 8N1");
    } else {
      sink(name + " (" + path + "): no modem lines; DTR/RTS not set");
    }
  }
  return port;
}

}  // namespace lark
