// The GSM modem's serial port: a termios line on "COMn" with DTR and RTS
// raised, its dialogue traced as text into the SMS log.
//
// Trace lines: "Tx: " or "Rx: ", each byte as itself when printable ASCII
// (32..126), else as "[0x%02X]", then "\n".
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/serial_line.h"

namespace lark {

inline constexpr uint32_t kModemGapMs = 50;  // silence that ends a read

class ModemPort {
 public:
  virtual ~ModemPort() = default;
  // Writes all of `bytes`; false when the line failed.
  virtual bool write(std::string_view bytes) = 0;
  // Waits up to `firstMs` for a first byte, then reads until kModemGapMs of
  // silence or `max` bytes.
  virtual std::string read(size_t max, uint32_t firstMs) = 0;
};

// A modem on a termios line.
class TermiosModemPort final : public ModemPort {
 public:
  // Opens `path` at `baud`, 8N1, DTR and RTS on, input purged. Null with
  // `error` set when it cannot; nothing is left open.
  static std::unique_ptr<TermiosModemPort> open(const std::string& path, uint32_t baud,
                                                std::string* error);
  bool write(std::string_view bytes) override;
  std::string read(size_t max, uint32_t firstMs) override;

 private:
  explicit TermiosModemPort(std::unique_ptr<SerialLine> line) : line_(std::move(line)) {}
  std::unique_ptr<SerialLine> line_;  // never null
};

// One trace line as described above.
std::string ModemTraceLine(std::string_view prefix, std::string_view bytes);

// Modem traffic kept per opening of the log (one message): a dialogue takes a
// few hundred bytes, so past this the modem is chattering and only counted.
inline constexpr size_t kSmsTraceBytes = 4096;
// An appended log past this size is moved to "<path>.old" when next opened,
// so a console's log never grows beyond two of these.
inline constexpr uint64_t kSmsLogRotateBytes = 2 * 1024 * 1024;

// The SMS log file, emptied when opened; writes go straight to the file.
class SmsLogFile {
 public:
  ~SmsLogFile() { close(); }
  // A new log, or with `append` the end of an existing one.
  bool open(const std::string& path, bool append = false);
  // A line of the sender's own; says first how much trace was held back.
  void write(std::string_view text);
  // A trace line, kept while this opening's trace is under kSmsTraceBytes.
  void trace(std::string_view line);
  void close();
  bool isOpen() const { return file_ != nullptr; }

 private:
  void put(std::string_view text);
  void sayHeldBack();
  std::FILE* file_ = nullptr;
  size_t traced_ = 0;  // trace bytes written since open
  size_t held_ = 0;    // trace bytes left out since the last line of ours
};

// A port whose traffic is traced into a log (when the log is open).
class TracedModemPort final : public ModemPort {
 public:
  TracedModemPort(ModemPort& port, SmsLogFile& log) : port_(port), log_(log) {}
  bool write(std::string_view bytes) override;
  std::string read(size_t max, uint32_t firstMs) override;

 private:
  ModemPort& port_;
  SmsLogFile& log_;
};

}  // namespace lark
