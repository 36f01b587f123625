// Serial ports: the interface the protocol engines talk to, the termios port
// behind it (a platform SerialLine), the opener that resolves "COMn" and the
// shared byte-level helpers.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "devices/serial_trace.h"
#include "platform/clock.h"
#include "platform/serial_line.h"

namespace lark {

// Where serial diagnostics go (the service's log); may be empty.
using SerialLogFn = std::function<void(std::string_view)>;

// One open serial line. read() and write() trace the frame when a trace is
// attached; the subclasses do the raw transfers.
class SerialPort {
 public:
  static constexpr size_t kMaxRead = 255;       // a wanted count above this reads nothing
  static constexpr int kWriteTries = 10;        // write calls per frame before giving up
  static constexpr uint32_t kInterByteMs = 10;  // silence that ends a read

  virtual ~SerialPort() = default;

  // Writes the frame in up to kWriteTries calls; false when some of it was
  // left (the engine's reply time-out then counts the exchange).
  bool write(CBytes frame);
  // One read of up to `wanted` bytes into `out` (which must hold them). Ends
  // after kInterByteMs of silence between bytes, or 1 ms per wanted byte in
  // all. Returns the number of bytes stored; 0 when none came or wanted > 255.
  size_t read(Bytes out, size_t wanted);
  // Discards what the driver has received.
  virtual void purgeReceive() = 0;
  // True once the line has failed for good (EIO/ENODEV: the adapter is gone);
  // the port table then closes it and opens it again on the next pass.
  virtual bool failed() const = 0;
  // A short pause between reads (drain, checksum wait).
  virtual void sleepMs(uint32_t ms) = 0;

  // Frames of this port go to `trace` as COMn with the port's protocol byte.
  void attachTrace(SerialTrace* trace, int com, uint8_t protocol);

 protected:
  // One write call: bytes taken, or -1 on an error.
  virtual ssize_t writeSome(CBytes data) = 0;
  // One timed read as described at read(); `wanted` is 1..255.
  virtual size_t readTimed(Bytes out, size_t wanted) = 0;

 private:
  SerialTrace* trace_ = nullptr;  // set before the port is polled
  int com_ = 0;
  uint8_t protocol_ = 0;
};

// Reads and discards what is pending: a first read of 1 byte, then reads of 5
// until one comes back empty, pausing 5 ms between reads when asked. Bounded
// by kMaxDrainBytes so a noisy line cannot hold a poll thread. Returns the
// number of bytes discarded.
inline constexpr size_t kMaxDrainBytes = 1024;
size_t DrainComPort(SerialPort& port, bool pause);

// Waits `ms` milliseconds of `clock` in 10 ms sleeps (correct across the wrap
// of the tick).
void WaitMilliseconds(const Clock& clock, uint32_t ms);

// Opens ports for the port table; tests give a scripted opener.
class PortOpener {
 public:
  virtual ~PortOpener() = default;
  // The open line, or null when it cannot be opened.
  virtual std::unique_ptr<SerialPort> open(int com, const SerialLineParams& params) = 0;
};

// A termios line on a tty or pseudo-terminal, DTR off and RTS on.
class TermiosSerialPort final : public SerialPort {
 public:
  // Opens `path` as SerialLine::open does.
  static std::unique_ptr<TermiosSerialPort> open(const std::string& path,
                                                 const SerialLineParams& params, uint32_t settleMs,
                                                 std::string* error, std::set<std::string>* notes);

  void purgeReceive() override;
  bool failed() const override { return line_->failed(); }
  void sleepMs(uint32_t ms) override;
  int fd() const { return line_->fd(); }

 protected:
  ssize_t writeSome(CBytes data) override;
  size_t readTimed(Bytes out, size_t wanted) override;

 private:
  explicit TermiosSerialPort(std::unique_ptr<SerialLine> line) : line_(std::move(line)) {}

  std::unique_ptr<SerialLine> line_;  // never null; poll thread only
};

// Opens "COMn" through the resolver. `settleMs` is the pause after opening
// before DTR/RTS are set (devices expect it; tests use 0).
class TermiosPortOpener final : public PortOpener {
 public:
  TermiosPortOpener(ComPortResolver resolver, SerialLogFn log, uint32_t settleMs = 1000);
  std::unique_ptr<SerialPort> open(int com, const SerialLineParams& params) override;
  // The per-port device paths from the settings; the next open uses them.
  void setPortPaths(std::map<int, std::string> paths);
  // Where the notes about a line's missing modem lines or parity go instead
  // of the log (they say nothing is wrong); set before the first open.
  void setTraceLog(SerialLogFn trace) { trace_ = std::move(trace); }

 private:
  ComPortResolver resolver_;  // guarded by mu_
  SerialLogFn log_;
  SerialLogFn trace_;
  uint32_t settleMs_;
  std::mutex mu_;                           // guards the resolver and the two sets
  std::set<std::string> loggedNotes_;       // "COMn note" reported once each
  std::map<int, std::string> lastFailure_;  // last open error per port, logged on change
};

}  // namespace lark
