// The serial traffic trace: a day file that logs every frame written to or
// read from a traced port, switched on by a console for some minutes.
//
// Threads: the three poll threads write entries while the loop thread switches
// the trace and counts its minutes; every member runs under mu_.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "platform/clock.h"

namespace lark {

enum class TraceDirection : uint32_t { kTransmit = 0, kReceive = 1 };

// Frame text as the trace shows it: for the ASCII UPS protocol (protocol byte
// 0) printable bytes as they are and others as "<%02x>"; for every other
// protocol each byte as "%02X ". Cut to `maxChars` at an item boundary.
std::string TraceFrameText(uint8_t protocol, CBytes bytes, size_t maxChars);

class SerialTrace {
 public:
  // Room of one entry's text: a written frame is at most 37 bytes, a read at
  // most 255, so these hold every frame of this system.
  static constexpr size_t kMaxTransmitText = 127;
  static constexpr size_t kMaxReceiveText = 1023;

  // `dir`: the folder of the day files (the install folder).
  SerialTrace(const Clock& clock, std::string dir);
  ~SerialTrace();
  SerialTrace(const SerialTrace&) = delete;
  SerialTrace& operator=(const SerialTrace&) = delete;

  // Switches the trace on for `minutes` (port filter 0 = every port, n = COMn
  // only) and opens today's file; off closes it.
  void start(uint32_t portFilter, int32_t minutes);
  void stop();
  bool isOn() const;
  uint32_t portFilter() const;
  // Once a minute while on: counts down and switches off below 1 minute.
  void minuteTick();

  // One frame of port COMn with the port's protocol byte.
  void traceFrame(int com, uint8_t protocol, CBytes bytes, TraceDirection dir);
  // One entry: a new "Tx>"/"Rx<" line, or the text appended to the current
  // receive line when the same port receives again.
  void WriteSerialMonitorLine(int com, std::string_view text, TraceDirection dir);

  // Path of the day file for `t` ("SerialMonitor-MM-DD.txt").
  std::string fileNameFor(const WallTime& t) const;

 private:
  bool openLocked(const WallTime& t);
  void closeLocked();

  const Clock& clock_;
  const std::string dir_;
  mutable std::mutex mu_;
  bool on_ = false;          // guarded by mu_
  uint32_t filter_ = 0;      // 0 every port; guarded by mu_
  int32_t minutesLeft_ = 0;  // guarded by mu_
  FILE* file_ = nullptr;     // open day file; guarded by mu_
  int fileDay_ = 0;          // day of month the file was opened on
  uint32_t lastDir_ = 0;     // direction of the previous entry
  int lastCom_ = 0;          // port of the previous entry
};

}  // namespace lark
