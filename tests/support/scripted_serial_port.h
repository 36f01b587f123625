// An in-memory serial line for the engines' unit tests: every write is kept as
// a frame, replies are fed by the test or by a scripted responder, and reads
// hand out what has been fed (as a pseudo-terminal would, without waiting).
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "devices/ascii_ups_samples.h"
#include "devices/serial_port.h"
#include "platform/clock.h"

namespace lark::test {

// The shared state of one scripted line; the port table owns the port that
// forwards to it, the test keeps the line.
class ScriptedLine {
 public:
  // Called with each written frame; may feed() a reply.
  using Responder = std::function<void(const std::string& frame)>;

  void feed(const std::string& bytes);
  void setResponder(Responder r);
  std::vector<std::string> frames() const;
  size_t frameCount() const;
  void clearFrames();
  // Bytes fed but not read yet.
  size_t pending() const;
  // Makes the line report a dead adapter (EIO).
  void setFailed(bool failed);
  bool failed() const;

  // Used by the port.
  void write(const std::string& frame);
  size_t read(uint8_t* out, size_t wanted);
  void purge();

 private:
  mutable std::mutex mu_;
  std::vector<std::string> frames_;  // guarded by mu_
  std::deque<uint8_t> incoming_;     // guarded by mu_
  Responder responder_;              // guarded by mu_ (called without it)
  bool failed_ = false;
};

class ScriptedSerialPort final : public SerialPort {
 public:
  explicit ScriptedSerialPort(std::shared_ptr<ScriptedLine> line, FakeClock* clock = nullptr)
      : line_(std::move(line)), clock_(clock) {}
  void purgeReceive() override { line_->purge(); }
  bool failed() const override { return line_->failed(); }
  void sleepMs(uint32_t ms) override {
    if (clock_ != nullptr) clock_->advance(ms);
  }

 protected:
  ssize_t writeSome(CBytes data) override;
  size_t readTimed(Bytes out, size_t wanted) override;

 private:
  std::shared_ptr<ScriptedLine> line_;
  FakeClock* clock_;
};

// Hands out scripted ports by COM number; an open can be made to fail.
class ScriptedPortOpener final : public PortOpener {
 public:
  explicit ScriptedPortOpener(FakeClock* clock = nullptr) : clock_(clock) {}
  std::unique_ptr<SerialPort> open(int com, const SerialLineParams& params) override;
  // The line of COMn (created on first use).
  std::shared_ptr<ScriptedLine> line(int com);
  void setOpenFails(int com, bool fails);
  int openCount(int com) const;
  SerialLineParams lastParams(int com) const;

 private:
  mutable std::mutex mu_;
  FakeClock* clock_;
  std::map<int, std::shared_ptr<ScriptedLine>> lines_;
  std::set<int> failing_;
  std::map<int, int> opens_;
  std::map<int, SerialLineParams> params_;
};

// Answers requests on a scripted line as ASCII UPS units would, from the
// canned answers. Faults are switched by the test between steps.
class ScriptedAsciiUps {
 public:
  ScriptedAsciiUps(std::shared_ptr<ScriptedLine> line, std::vector<AsciiUpsProfile> units,
                   bool checksum);
  AsciiUpsProfile& unit(int address);
  bool silent = false;    // answer nothing
  bool checksum;          // units send sums
  std::string nextReply;  // when set, the next reply is this text instead

 private:
  void onFrame(const std::string& frame);
  std::shared_ptr<ScriptedLine> line_;
  std::map<int, AsciiUpsProfile> units_;
};

}  // namespace lark::test
