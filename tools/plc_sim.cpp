// A PLC contact module that answers Modbus ASCII reads of discrete inputs
// (function 2) at 0x0400 (input points) and 0x0500 (output points), for tests
// and the demo. One line carries one or more modules at their addresses.
//
//   plc_sim --pty-dir DIR --com N   make a pseudo-terminal, link DIR/COMn to it
//   plc_sim --device PATH           speak on an existing tty (e.g. a socat end)
//   plc_sim --fd N                  speak on an inherited descriptor
//
// Modules: --plc ADDR (repeatable; default 1). Input byte i of module a is
// (16 a + i) mod 256, output byte i its complement. --toggle N flips input
// point 0 of every module each N answers.
// Faults: --fault KIND:FIRST[:COUNT] with KIND silence, badlrc, nonhex,
// wrongaddr, exception, wrongcount, split, garbage, lower; FIRST the 1-based
// number of the request it hits, COUNT the requests in a row (0 = all from
// FIRST on). --verbose logs every exchange. Prints "ready <path>" once open.
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "devices/plc/modbus_ascii.h"
#include "tools/sim_line.h"

namespace {

using lark::sim::WriteAll;

volatile sig_atomic_t g_stop = 0;  // set by the signal handler only
void OnSignal(int) { g_stop = 1; }

struct Fault {
  std::string kind;
  long first;  // 1-based request number
  long count;  // 0 = for ever
  bool hits(long n) const { return n >= first && (count == 0 || n < first + count); }
};

struct Options {
  std::string ptyDir, device;
  int com = 1;
  int fd = -1;
  std::vector<int> addresses;
  int toggle = 0;
  std::vector<Fault> faults;
  bool verbose = false;
};

Options ParseArgs(int argc, char** argv) {
  static const char* const kKinds[] = {"silence",    "badlrc", "nonhex",  "wrongaddr", "exception",
                                       "wrongcount", "split",  "garbage", "lower"};
  Options o;
  lark::sim::SimArgs args("plc_sim", argc, argv);
  while (args.next()) {
    const std::string& a = args.option();
    if (a == "--pty-dir") {
      o.ptyDir = args.value();
    } else if (a == "--com") {
      o.com = args.number();
    } else if (a == "--device") {
      o.device = args.value();
    } else if (a == "--fd") {
      o.fd = args.number();
    } else if (a == "--plc") {
      o.addresses.push_back(args.number());
    } else if (a == "--toggle") {
      o.toggle = args.number();
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--fault") {
      std::string v = args.value();
      size_t c1 = v.find(':');
      if (c1 == std::string::npos) args.usage("bad fault: " + v);
      size_t c2 = v.find(':', c1 + 1);
      Fault f{v.substr(0, c1), args.number(v.substr(c1 + 1, c2 - c1 - 1)),
              c2 == std::string::npos ? 1 : args.number(v.substr(c2 + 1))};
      bool known = false;
      for (const char* k : kKinds) known = known || f.kind == k;
      if (!known || f.first < 1 || f.count < 0) args.usage("bad fault: " + v);
      o.faults.push_back(f);
    } else {
      args.usage("unknown option " + a);
    }
  }
  if (o.addresses.empty()) o.addresses.push_back(1);
  int modes = !o.ptyDir.empty() + !o.device.empty() + (o.fd >= 0);
  if (modes != 1) args.usage("give one of --pty-dir, --device, --fd");
  return o;
}

class Simulator {
 public:
  Simulator(const Options& o, int fd) : o_(o), fd_(fd) {
    for (int a : o.addresses) {
      std::vector<uint8_t>& in = inputs_[a];
      for (int i = 0; i < lark::kPlcMaxRangeBytes; ++i) in.push_back(static_cast<uint8_t>(16 * a + i));
    }
  }

  void run() {
    std::string line;
    while (!g_stop) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[256];
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) {
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) return;
        if (n < 0 && errno == EIO) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        continue;
      }
      line.append(buf, static_cast<size_t>(n));
      if (line.size() > 512) line.clear();
      size_t end;
      while ((end = line.find("\r\n")) != std::string::npos) {
        std::string frame = line.substr(0, end);
        line.erase(0, end + 2);
        size_t colon = frame.find(':');
        if (colon != std::string::npos) answer(frame.substr(colon));
      }
    }
  }

 private:
  const Fault* faultFor(long n) const {
    for (const Fault& f : o_.faults) {
      if (f.hits(n)) return &f;
    }
    return nullptr;
  }

  void answer(const std::string& frame) {
    if (frame.size() != 15) return;
    auto hex = [&](size_t pos, size_t len) {
      return static_cast<int>(strtol(frame.substr(pos, len).c_str(), nullptr, 16));
    };
    const int addr = hex(1, 2), function = hex(3, 2), start = hex(5, 4), quantity = hex(9, 4);
    auto unit = inputs_.find(addr);
    if (unit == inputs_.end()) return;  // another module's request
    const long n = ++requests_;
    if (function != lark::kPlcFunctionReadInputs || (start != 0x0400 && start != 0x0500)) {
      WriteAll(fd_, exceptionReply(addr, function, 2));
      return;
    }
    if (o_.toggle > 0 && n % o_.toggle == 0) {
      for (auto& [a, in] : inputs_) in[0] ^= 1;
    }
    std::vector<uint8_t> data(static_cast<size_t>(lark::PlcAnswerBytes(quantity)));
    for (size_t i = 0; i < data.size(); ++i) {
      uint8_t in = i < unit->second.size() ? unit->second[i] : 0;
      data[i] = start == 0x0400 ? in : static_cast<uint8_t>(~in);
    }
    std::string reply = lark::BuildPlcAnswer(addr, data);
    const Fault* f = faultFor(n);
    const std::string kind = f ? f->kind : "";
    if (kind == "silence") {
      log(n, frame, "(silent)");
      return;
    }
    if (kind == "badlrc") reply[reply.size() - 3] = reply[reply.size() - 3] == '0' ? '1' : '0';
    if (kind == "nonhex") reply[7] = 'G';
    if (kind == "wrongaddr") reply = lark::BuildPlcAnswer((addr + 1) & 0xFF, data);
    if (kind == "exception") reply = exceptionReply(addr, function, 4);
    if (kind == "wrongcount") {
      data.push_back(0);
      reply = lark::BuildPlcAnswer(addr, data);
    }
    if (kind == "garbage") reply = "\x7f#" + reply;
    if (kind == "lower") {
      for (char& c : reply) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    log(n, frame, reply);
    if (kind == "split") {
      WriteAll(fd_, reply.substr(0, 5));
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      WriteAll(fd_, reply.substr(5));
      return;
    }
    WriteAll(fd_, reply);
  }

  static std::string exceptionReply(int addr, int function, int code) {
    const uint8_t b[3] = {static_cast<uint8_t>(addr), static_cast<uint8_t>(function | 0x80),
                          static_cast<uint8_t>(code)};
    char text[16];
    snprintf(text, sizeof text, ":%02X%02X%02X%02X\r\n", b[0], b[1], b[2], lark::ModbusLrc(b, 3));
    return text;
  }

  void log(long n, const std::string& frame, const std::string& reply) const {
    if (!o_.verbose) return;
    fprintf(stderr, "plc_sim #%ld %s -> %s\n", n, frame.c_str(), reply.c_str());
  }

  const Options& o_;
  int fd_;
  std::map<int, std::vector<uint8_t>> inputs_;
  long requests_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseArgs(argc, argv);
  lark::sim::CatchStopSignals(OnSignal);
  lark::sim::SimLine line;
  if (!lark::sim::OpenSimLine("plc_sim", o.ptyDir, o.com, o.device, o.fd, &line)) return 1;
  printf("ready %s\n", line.where.c_str());
  fflush(stdout);
  Simulator sim(o, line.fd);
  sim.run();
  lark::sim::CloseSimLine(line);
  return 0;
}
