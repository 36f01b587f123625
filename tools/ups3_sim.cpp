// A three-phase UPS simulator that speaks the binary RS-485 protocol on a
// serial line, for tests and the demo. One line carries one or more units at
// their bus addresses; faults can be scripted by request number.
//
//   ups3_sim --pty-dir DIR --com N   make a pseudo-terminal, link DIR/COMn to it
//   ups3_sim --device PATH           speak on an existing tty (e.g. a socat end)
//   ups3_sim --fd N                  speak on an inherited descriptor
//
// Units: --ups ADDR (repeatable; default 1) with model byte 2 (eight status
// types), --ups4 ADDR for a unit of the first four types only, --model TEXT,
// --events N (event-log records, the newest logged when the simulator
// started, the others one to two hours apart before it), --status HEX (status word), --refuse
// (0x15 to control frames, else 0x06), --control-log FILE (each control
// frame taken, one line of hex and "taken"/"refused"), --alarm-flags HEX (up
// to 16 hex digits: the eight alarm bytes of the type-22 reply, first byte
// first; e.g. 01 sets the R phase's temperature warning), --apf-state
// CODE[,CODE] (the state codes of filters 1 and 2).
// Faults: --fault KIND:FIRST[:COUNT] with KIND silence, badsum, wrongaddr,
// split, garbage, short (the reply cut to half); FIRST the 1-based number of
// the request it hits, COUNT the requests in a row (0 = all from FIRST on).
// --verbose logs every exchange. Prints "ready <path>" on stdout once the
// line is open.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "devices/binary/binary_reply.h"
#include "devices/binary/binary_samples.h"
#include "tools/sim_serial.h"

namespace {

using lark::ThreePhaseUnit;

volatile sig_atomic_t g_stop = 0;  // set by the signal handler only
void OnSignal(int) { g_stop = 1; }

using lark::sim::Fault;
using lark::sim::FaultKind;

struct Options {
  std::string ptyDir, device, controlLog;
  int com = 2;
  int fd = -1;
  std::vector<std::pair<int, bool>> units;  // address, eight types
  ThreePhaseUnit profile;
  std::vector<Fault> faults;
  bool verbose = false;
};

[[noreturn]] void Usage(const char* why) {
  fprintf(stderr, "ups3_sim: %s\n(see the head of tools/ups3_sim.cpp for the options)\n", why);
  exit(2);
}

bool ParseFault(const std::string& text, Fault* out) {
  static const std::map<std::string, FaultKind> kinds = {
      {"silence", FaultKind::kSilence},     {"badsum", FaultKind::kBadSum},
      {"wrongaddr", FaultKind::kWrongAddr}, {"split", FaultKind::kSplit},
      {"garbage", FaultKind::kGarbage},     {"short", FaultKind::kShort}};
  return lark::sim::ParseFault(text, kinds, out);
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value after " + a).c_str());
      return argv[++i];
    };
    auto number = [&](int base = 10) {
      std::string v = value();
      char* end = nullptr;
      long n = strtol(v.c_str(), &end, base);
      if (v.empty() || *end != '\0') Usage(("not a number: " + v).c_str());
      return static_cast<int>(n);
    };
    if (a == "--pty-dir") {
      o.ptyDir = value();
    } else if (a == "--com") {
      o.com = number();
    } else if (a == "--device") {
      o.device = value();
    } else if (a == "--fd") {
      o.fd = number();
    } else if (a == "--ups") {
      o.units.emplace_back(number(), true);
    } else if (a == "--ups4") {
      o.units.emplace_back(number(), false);
    } else if (a == "--model") {
      o.profile.model = value().substr(0, 30);
    } else if (a == "--events") {
      o.profile.logRecords = static_cast<uint16_t>(number());
    } else if (a == "--status") {
      o.profile.statusWord = static_cast<uint16_t>(number(16));
    } else if (a == "--refuse") {
      o.profile.refuseControl = true;
    } else if (a == "--control-log") {
      o.controlLog = value();
    } else if (a == "--alarm-flags") {
      const std::string v = value();
      if (v.empty() || v.size() > 16 || v.size() % 2 != 0 ||
          v.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        Usage("--alarm-flags is up to eight bytes in hex");
      for (size_t k = 0; k < v.size(); k += 2)
        o.profile.alarmFlags[k / 2] = static_cast<uint8_t>(strtol(v.substr(k, 2).c_str(), nullptr, 16));
    } else if (a == "--apf-state") {
      const std::string v = value();
      size_t k = 0, start = 0;
      for (; k < 2 && start <= v.size(); ++k) {
        size_t comma = v.find(',', start);
        if (comma == std::string::npos) comma = v.size();
        const std::string code = v.substr(start, comma - start);
        char* end = nullptr;
        const long n = strtol(code.c_str(), &end, 10);
        if (code.empty() || *end != '\0' || n < 0 || n > 255) Usage("--apf-state is CODE[,CODE], each 0..255");
        o.profile.apfStates[k] = static_cast<uint8_t>(n);
        start = comma + 1;
      }
      if (start <= v.size()) Usage("--apf-state takes at most two codes");
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--fault") {
      Fault f;
      if (!ParseFault(value(), &f)) Usage("bad --fault");
      o.faults.push_back(f);
    } else {
      Usage(("unknown option " + a).c_str());
    }
  }
  if (o.units.empty()) o.units.emplace_back(1, true);
  for (auto [addr, eight] : o.units) {
    if (addr < 0 || addr > 255) Usage("a bus address is 0..255");
  }
  if (o.com < 1 || o.com > 255) Usage("--com is 1..255");
  int modes = !o.ptyDir.empty() + !o.device.empty() + (o.fd >= 0);
  if (modes != 1) Usage("give one of --pty-dir, --device, --fd");
  return o;
}

class Simulator {
 public:
  Simulator(const Options& o, int fd) : o_(o), fd_(fd) {
    for (auto [addr, eight] : o.units) {
      ThreePhaseUnit u = o.profile;
      u.address = addr;
      u.eightTypes = eight;
      units_[addr] = u;
    }
  }

  void run() {
    lark::sim::ServeRequests(fd_, g_stop, [this](std::string& buf) { return handleOne(buf); });
  }

 private:
  // Takes one whole request off the front of `buf`; false when more is needed.
  bool handleOne(std::string& buf) {
    size_t head = buf.find('\x01');
    if (head == std::string::npos) {
      buf.clear();
      return false;
    }
    buf.erase(0, head);
    size_t total = 0;
    switch (lark::CheckBinaryFrame(lark::asBytes(buf), &total)) {
      case lark::BinaryFrameState::kIncomplete:
        return false;
      case lark::BinaryFrameState::kBad:
        buf.erase(0, 1);
        return true;
      case lark::BinaryFrameState::kComplete:
        break;
    }
    std::string frame = buf.substr(0, total);
    buf.erase(0, total);
    auto it = units_.find(static_cast<uint8_t>(frame[1]));
    if (it == units_.end()) return true;  // another unit's request
    ++requests_;
    if (o_.verbose) {
      fprintf(stderr, "ups3_sim: #%ld <- %s\n", requests_,
              lark::HexText(lark::asBytes(frame)).c_str());
    }
    ThreePhaseUnit& unit = it->second;
    const size_t logged = unit.controlLog.size();
    std::string reply = lark::ThreePhaseReply(unit, lark::asBytes(frame));
    if (unit.controlLog.size() > logged) writeControlLog(unit.controlLog.back());
    answer(reply);
    return true;
  }

  void writeControlLog(const std::string& line) {
    if (o_.controlLog.empty()) return;
    FILE* f = fopen(o_.controlLog.c_str(), "a");
    if (f == nullptr) return;
    fprintf(f, "%s\n", line.c_str());
    fclose(f);
  }

  void answer(std::string reply) {
    if (reply.empty()) return;
    bool silence = false, badSum = false, wrongAddr = false, split = false, garbage = false,
         cut = false;
    for (const Fault& f : o_.faults) {
      if (!f.hits(requests_)) continue;
      silence |= f.kind == FaultKind::kSilence;
      badSum |= f.kind == FaultKind::kBadSum;
      wrongAddr |= f.kind == FaultKind::kWrongAddr;
      split |= f.kind == FaultKind::kSplit;
      garbage |= f.kind == FaultKind::kGarbage;
      cut |= f.kind == FaultKind::kShort;
    }
    if (silence) return;
    const bool isFrame = reply.size() > 4;
    if (isFrame && badSum) reply.back() = static_cast<char>(reply.back() + 1);
    if (isFrame && wrongAddr) reply[1] = static_cast<char>(reply[1] + 1);
    if (cut) reply.resize(reply.size() / 2 + (reply.size() == 1));
    if (garbage) reply = std::string("\x7Fxx", 3) + reply;
    if (o_.verbose) {
      fprintf(stderr, "ups3_sim: #%ld -> %s\n", requests_,
              lark::HexText(lark::asBytes(reply)).c_str());
    }
    lark::sim::WriteReply(fd_, reply, split);
  }

  const Options& o_;
  int fd_;
  std::map<int, ThreePhaseUnit> units_;
  long requests_ = 0;  // requests to our units so far
};

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseArgs(argc, argv);
  // The unit's clock keeps local time: its log ends now, as the wall clock reads.
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  o.profile.logEnd = static_cast<int64_t>(now) + local.tm_gmtoff;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  lark::sim::SimLine line;
  if (!lark::sim::OpenSimLine("ups3_sim", o.ptyDir, o.com, o.device, o.fd, &line)) return 1;
  char stale[256];  // bytes written to the line before we opened it are not requests
  while (read(line.fd, stale, sizeof stale) > 0) {
  }
  printf("ready %s\n", line.where.c_str());
  fflush(stdout);

  Simulator sim(o, line.fd);
  sim.run();
  lark::sim::CloseSimLine(line);
  return 0;
}
