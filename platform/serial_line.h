// Serial lines on termios and where a "COMn" name leads.
//
// "COMn" stays the port's name in every file and frame; only the opener turns
// it into a device path. The polled device ports and the GSM modem port both
// sit on a SerialLine.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace lark {

// Line settings of an open port: one stop bit always.
struct SerialLineParams {
  uint32_t baud = 9600;
  bool evenParity = false;  // even parity, else none
  int dataBits = 8;         // 8, or 7 for the Modbus ASCII PLC
};

// The modem control lines a port sets once it is open.
enum class ModemLines {
  kRtsOnly,    // DTR off, RTS on: the polled device ports
  kDtrAndRts,  // both on: a GSM modem answers only with DTR raised
};

// One open termios line on a tty or pseudo-terminal, non-blocking underneath.
// Owned by one thread at a time.
class SerialLine {
 public:
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens `path` exclusively (TIOCEXCL and flock), raw, with `params`. A line
  // that refuses parity or 7 data bits (pseudo-terminals) falls back to 8N1,
  // and one without modem lines skips DTR/RTS; both are reported through
  // `notes` ("parity" / "modem lines") for the caller to log once.
  // `settleMs` is the pause between opening and setting the modem lines.
  // Every failure closes what was opened.
  static std::unique_ptr<SerialLine> open(const std::string& path, const SerialLineParams& params,
                                          uint32_t settleMs, ModemLines lines, std::string* error,
                                          std::set<std::string>* notes);

  // One write call, with a bounded wait (1 ms per byte) on a full output
  // queue: bytes taken, or -1 on an error.
  ssize_t writeSome(const uint8_t* data, size_t size);
  // Reads up to `wanted` bytes: waits `firstMs` for the first byte, then
  // ends after `gapMs` of silence between bytes. Returns the count stored.
  size_t readTimed(uint8_t* out, size_t wanted, uint32_t firstMs, uint32_t gapMs);
  // Discards what the driver has received.
  void purgeReceive();
  // True once the line has failed for good (EIO/ENODEV/hang-up: the adapter
  // or the far end of a pseudo-terminal is gone).
  bool failed() const { return failed_; }
  int fd() const { return fd_; }

 private:
  explicit SerialLine(int fd) : fd_(fd) {}
  void noteError(int err);

  int fd_;                  // owned
  bool failed_ = false;     // set on EIO/ENODEV/hang-up
  bool exclusive_ = false;  // TIOCEXCL set by this open
};

// Where "COMn" leads. Order: a per-port path set by the operator, then the
// link named "COMn" in the link folder, then /dev/ttyS(n-1). A port that once
// led to its own path or to its link keeps that path while neither is there
// (an adapter unplugged takes its link with it): it never falls through to a
// real ttyS of the host, and each reopen looks again.
struct ComPortResolver {
  ComPortResolver(std::map<int, std::string> portPaths = {}, std::string links = {})
      : overrides(std::move(portPaths)), linkDir(std::move(links)) {}

  std::string resolve(int com);

  std::map<int, std::string> overrides;  // COM number -> device path
  std::string linkDir;                   // folder of "COMn" links (may be empty)

 private:
  std::map<int, std::string> kept_;  // COM number -> last path found by the first two
};

// The link folder: $LARK_SERIAL_DIR, else <installDir>/ports.
std::string DefaultSerialLinkDir(std::string_view installDir);
// The COM number of a "COMn" text (1..255), or 0 when it is none.
int ComNumberOf(std::string_view comText);

}  // namespace lark
