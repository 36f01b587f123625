// A UPS simulator that speaks the ASCII UPS protocol on a serial line, for
// tests and the demo. One line carries one or more units at their bus
// addresses; faults can be scripted by request number.
//
//   ups_sim --pty-dir DIR --com N   make a pseudo-terminal, link DIR/COMn to it
//   ups_sim --device PATH           speak on an existing tty (e.g. a socat end)
//   ups_sim --fd N                  speak on an inherited descriptor
//
// Units and answers: --ups ADDR (repeatable; default 1), --checksum (units
// send and check sums), --model TEXT, --class N, --cpu HEX, --serial TEXT,
// --avl/--al1/--al2/--al3 STRING, --refuse CODE[,CODE...], --events N,
// --event-format 0|1, --alarm-cycle N (the alarm on for N "STA" answers, then
// off for N, and so on), --alarm-seconds N (on for N seconds, then off for N),
// --alarm-field N ("STA" field of the alarm, default 0; 1 is "on battery"),
// --ups-type N (the UPS type code, "RAT" field 13; default 1), --answer
// CODE=FIELDS (the payload given for STO, STB or STA in place of the canned
// one, e.g. --answer STB=0;0;100;270;25;3), --module M:STATE[:A:B:C]
// (repeatable: power module M 1..6 in the answers of PMS, PFS, PIS and PCS
// with its state and alarm words A, B and C, 0 when not given; without it
// the canned answers), --bpa BITS (the eight system alarms of BPA, bit i
// field i).
// Faults: --fault KIND:FIRST[:COUNT] with KIND silence, badsum, wrongaddr,
// split, garbage; FIRST the 1-based number of the request it hits, COUNT the
// requests in a row (0 = all from FIRST on). --verbose logs every exchange.
// Prints "ready <path>" on stdout once the line is open.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "common/checksum.h"
#include "devices/ascii_answer.h"
#include "devices/ascii_ups_samples.h"
#include "tools/sim_serial.h"

namespace {

using lark::AsciiUpsProfile;

volatile sig_atomic_t g_stop = 0;  // set by the signal handler only
void OnSignal(int) { g_stop = 1; }

using lark::sim::Fault;
using lark::sim::FaultKind;

struct Options {
  std::string ptyDir, device;
  int com = 1;
  int fd = -1;
  std::vector<int> addresses;
  bool checksum = false;
  AsciiUpsProfile profile;
  int alarmCycle = 0;
  int alarmSeconds = 0;
  std::vector<Fault> faults;
  bool verbose = false;
};

struct ModuleAnswer {
  long module, state, a, b, c;
};

// "M:STATE[:A:B:C]", numbers in decimal or 0x hex.
bool ParseModule(const std::string& text, ModuleAnswer* out) {
  std::vector<long> v;
  for (size_t p = 0; p <= text.size();) {
    size_t q = text.find(':', p);
    if (q == std::string::npos) q = text.size();
    const std::string part = text.substr(p, q - p);
    char* end = nullptr;
    const long n = strtol(part.c_str(), &end, 0);
    if (part.empty() || *end != '\0' || n < 0 || n > 0xffffff) return false;
    v.push_back(n);
    p = q + 1;
  }
  if ((v.size() != 2 && v.size() != 5) || v[0] < 1 || v[0] > 6 || v[1] > 255 || (v.size() == 5 && v[2] > 0xffff))
    return false;
  v.resize(5, 0);
  *out = {v[0], v[1], v[2], v[3], v[4]};
  return true;
}

// The module queries' answers for `modules`, over the canned ones.
void SetModuleAnswers(const std::vector<ModuleAnswer>& modules, AsciiUpsProfile* p) {
  std::string pms, pfs, pis, pcs;
  auto add = [](std::string& to, std::initializer_list<long> fields) {
    for (long f : fields) to += (to.empty() ? "" : ";") + std::to_string(f);
  };
  for (const ModuleAnswer& m : modules) {
    add(pms, {m.module, m.state});
    add(pfs, {m.module, m.a});
    add(pis, {m.module, m.b & 0xff, (m.b >> 8) & 0xff, (m.b >> 16) & 0xff});
    add(pcs, {m.module, m.c});
  }
  p->answers["PMS"] = pms;
  p->answers["PFS"] = pfs;
  p->answers["PIS"] = pis;
  p->answers["PCS"] = pcs;
}

struct Unit {
  AsciiUpsProfile profile;
  long staAnswers = 0;
};

[[noreturn]] void Usage(const char* why) {
  fprintf(stderr, "ups_sim: %s\n(see the head of tools/ups_sim.cpp for the options)\n", why);
  exit(2);
}

bool ParseFault(const std::string& text, Fault* out) {
  static const std::map<std::string, FaultKind> kinds = {{"silence", FaultKind::kSilence},
                                                         {"badsum", FaultKind::kBadSum},
                                                         {"wrongaddr", FaultKind::kWrongAddr},
                                                         {"split", FaultKind::kSplit},
                                                         {"garbage", FaultKind::kGarbage}};
  return lark::sim::ParseFault(text, kinds, out);
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  std::vector<ModuleAnswer> modules;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value after " + a).c_str());
      return argv[++i];
    };
    auto number = [&]() {
      std::string v = value();
      char* end = nullptr;
      long n = strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0') Usage(("not a number: " + v).c_str());
      return static_cast<int>(n);
    };
    if (a == "--pty-dir")
      o.ptyDir = value();
    else if (a == "--com")
      o.com = number();
    else if (a == "--device")
      o.device = value();
    else if (a == "--fd")
      o.fd = number();
    else if (a == "--ups")
      o.addresses.push_back(number());
    else if (a == "--checksum")
      o.checksum = true;
    else if (a == "--model")
      o.profile.model = value();
    else if (a == "--class")
      o.profile.modelClass = number();
    else if (a == "--cpu")
      o.profile.cpu = value();
    else if (a == "--serial")
      o.profile.serial = value();
    else if (a == "--avl")
      o.profile.avl = value();
    else if (a == "--al1")
      o.profile.al1 = value();
    else if (a == "--al2")
      o.profile.al2 = value();
    else if (a == "--al3")
      o.profile.al3 = value();
    else if (a == "--events")
      o.profile.events = number();
    else if (a == "--event-format")
      o.profile.eventFormat = number();
    else if (a == "--alarm-cycle")
      o.alarmCycle = number();
    else if (a == "--ups-type")
      o.profile.upsType = number();
    else if (a == "--answer") {
      const std::string v = value();
      const size_t eq = v.find('=');
      const std::string code = v.substr(0, eq);
      if (eq == std::string::npos || (code != "STO" && code != "STB" && code != "STA"))
        Usage("bad --answer (STO, STB or STA=FIELDS)");
      o.profile.answers[code] = v.substr(eq + 1);
    } else if (a == "--module") {
      ModuleAnswer m;
      if (!ParseModule(value(), &m)) Usage("bad --module (M:STATE[:A:B:C], M 1..6)");
      modules.push_back(m);
    } else if (a == "--bpa") {
      const std::string v = value();
      char* end = nullptr;
      const long bits = strtol(v.c_str(), &end, 0);
      if (v.empty() || *end != '\0' || bits < 0 || bits > 255) Usage("--bpa is 0..255");
      std::string fields;
      for (int i = 0; i < 8; ++i) fields += std::string(i ? ";" : "") + ((bits >> i) & 1 ? "1" : "0");
      o.profile.answers["BPA"] = fields;
    } else if (a == "--alarm-seconds")
      o.alarmSeconds = number();
    else if (a == "--alarm-field")
      o.profile.alarmField = number();
    else if (a == "--verbose")
      o.verbose = true;
    else if (a == "--refuse") {
      std::string v = value();
      for (size_t p = 0; p <= v.size();) {
        size_t q = v.find(',', p);
        if (q == std::string::npos) q = v.size();
        if (q > p) o.profile.refused.insert(v.substr(p, q - p));
        p = q + 1;
      }
    } else if (a == "--fault") {
      Fault f;
      if (!ParseFault(value(), &f)) Usage("bad --fault (KIND:FIRST[:COUNT])");
      o.faults.push_back(f);
    } else {
      Usage(("unknown option " + a).c_str());
    }
  }
  if (!modules.empty()) SetModuleAnswers(modules, &o.profile);
  if (o.addresses.empty()) o.addresses.push_back(1);
  for (int addr : o.addresses) {
    if (addr < 0 || addr > 99) Usage("a bus address is 0..99");
  }
  if (o.com < 1 || o.com > 255) Usage("--com is 1..255");
  if (o.profile.alarmField < 0 || o.profile.alarmField > 19) Usage("--alarm-field is 0..19");
  int modes = !o.ptyDir.empty() + !o.device.empty() + (o.fd >= 0);
  if (modes != 1) Usage("give one of --pty-dir, --device, --fd");
  return o;
}

class Simulator {
 public:
  Simulator(const Options& o, int fd) : o_(o), fd_(fd) {
    for (int addr : o.addresses) {
      Unit u;
      u.profile = o.profile;
      u.profile.address = addr;
      u.profile.serial = o.profile.serial + "-" + std::to_string(addr);
      units_[addr] = u;
    }
  }

  void run() {
    lark::sim::ServeRequests(fd_, g_stop, [this](std::string& buf) { return handleOne(buf); });
  }

 private:
  // Takes one whole request off the front of `buf`; false when more is needed.
  bool handleOne(std::string& buf) {
    size_t tilde = buf.find('~');
    if (tilde == std::string::npos) {
      buf.clear();
      return false;
    }
    buf.erase(0, tilde);
    if (buf.size() < lark::kAsciiDataHeaderSize) return false;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i : {1, 2, 4, 5, 6}) {
      if (!digit(buf[i])) {
        buf.erase(0, 1);
        return true;
      }
    }
    int addr = (buf[1] - '0') * 10 + (buf[2] - '0');
    size_t len = static_cast<size_t>((buf[4] - '0') * 100 + (buf[5] - '0') * 10 + (buf[6] - '0'));
    size_t body = lark::kAsciiDataHeaderSize + len;
    if (buf.size() < body) return false;
    // Sum digits, when sent, come in the same write; give them a moment.
    if (buf.size() < body + 2) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 15) > 0) {
        char tmp[64];
        ssize_t n = read(fd_, tmp, sizeof tmp);
        if (n > 0) buf.append(tmp, static_cast<size_t>(n));
      }
    }
    size_t used = body;
    bool sumOk = true;
    if (buf.size() >= body + 2 && buf[body] != '~') {
      std::string sum = buf.substr(body, 2);
      sumOk = sum == lark::Sum8Text(lark::asBytes(std::string_view(buf).substr(0, body)));
      used = body + 2;
    }
    std::string frame = buf.substr(0, used);
    buf.erase(0, used);
    auto it = units_.find(addr);
    if (it == units_.end()) return true;  // another unit's request
    ++requests_;
    if (o_.verbose) fprintf(stderr, "ups_sim: #%ld <- %s\n", requests_, frame.c_str());
    if (!sumOk) {
      if (o_.verbose) fprintf(stderr, "ups_sim: bad checksum, no answer\n");
      return true;
    }
    answer(it->second, frame[3], frame.substr(lark::kAsciiDataHeaderSize, len));
    return true;
  }

  void answer(Unit& unit, char kind, const std::string& payload) {
    std::string body;
    if (kind == 'P' && payload.size() >= 3) {
      std::string code = payload.substr(0, 3);
      AsciiUpsProfile prof = unit.profile;
      if (code == "STA") {
        if (o_.alarmCycle > 0) prof.alarm = (unit.staAnswers / o_.alarmCycle) % 2 == 1;
        if (o_.alarmSeconds > 0) {
          const auto since = std::chrono::steady_clock::now() - start_;
          prof.alarm =
              (std::chrono::duration_cast<std::chrono::seconds>(since).count() / o_.alarmSeconds) %
                  2 ==
              1;
        }
        ++unit.staAnswers;
      }
      auto data = lark::AsciiSampleAnswer(prof, code, std::string_view(payload).substr(3));
      if (data && data->size() <= 999) {
        char head[8];
        snprintf(head, sizeof head, "D%03zu", data->size());
        body = head + *data;
      } else {
        body = "R";
      }
    } else if (kind == 'S') {
      body = "A";
    } else {
      body = "R";
    }
    int addr = unit.profile.address;
    bool silence = false, badSum = false, wrongAddr = false, split = false, garbage = false;
    for (const Fault& f : o_.faults) {
      if (!f.hits(requests_)) continue;
      silence |= f.kind == FaultKind::kSilence;
      badSum |= f.kind == FaultKind::kBadSum;
      wrongAddr |= f.kind == FaultKind::kWrongAddr;
      split |= f.kind == FaultKind::kSplit;
      garbage |= f.kind == FaultKind::kGarbage;
    }
    if (silence) {
      if (o_.verbose) fprintf(stderr, "ups_sim: #%ld silence\n", requests_);
      return;
    }
    char head[4];
    snprintf(head, sizeof head, "~%02d", wrongAddr ? (addr + 1) % 100 : addr);
    std::string reply = head + body;
    if (o_.checksum) {
      std::string sum = lark::Sum8Text(lark::asBytes(reply));
      if (badSum) sum = sum == "00" ? "01" : "00";
      reply += sum;
    }
    if (garbage) reply = std::string("\x01xx", 3) + reply;
    if (o_.verbose) fprintf(stderr, "ups_sim: #%ld -> %s\n", requests_, reply.c_str());
    lark::sim::WriteReply(fd_, reply, split);
  }

  const Options& o_;
  int fd_;
  std::map<int, Unit> units_;
  long requests_ = 0;  // requests to our units so far
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseArgs(argc, argv);
  lark::sim::CatchStopSignals(OnSignal);
  lark::sim::SimLine line;
  if (!lark::sim::OpenSimLine("ups_sim", o.ptyDir, o.com, o.device, o.fd, &line)) return 1;
  const int fd = line.fd;
  // Requests left from before a restart are stale: answer only new ones.
  char stale[256];
  while (read(fd, stale, sizeof stale) > 0) {
  }
  printf("ready %s\n", line.where.c_str());
  fflush(stdout);

  Simulator sim(o, fd);
  sim.run();
  lark::sim::CloseSimLine(line);
  return 0;
}
