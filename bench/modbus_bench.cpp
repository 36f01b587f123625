// Modbus RTU poll cycles: one device of a type behind a line (line_pacer at
// a baud rate's wire speed, pymodbus on the far end), polled by our master
// (the port table's thread C with the RTU engine) and then by a plain
// libmodbus master doing the same reads, in the same run. Prints the time of
// one full poll cycle of each against the wire time of the cycle's bytes, as
// ratios, and ours against libmodbus.
//
//   modbus_bench --port PATH --baud N --type ups|trv5200|9315|inverter|sensor|meter
//                --address A [--polling MS] [--cycles N]
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#if LARK_HAVE_LIBMODBUS
#include <modbus.h>
#endif

#include "core/device_node.h"
#include "devices/modbus/modbus_poll_table.h"
#include "devices/modbus/modbus_rtu.h"
#include "devices/port_table.h"
#include "platform/clock.h"

namespace {

using namespace lark;
using Steady = std::chrono::steady_clock;

struct Type {
  const char* name;
  int16_t commType;
  std::span<const PollRow> rows;
};
const Type kTypes[] = {
    {"ups", kCommModbusUps, kUpsRows},    {"trv5200", kCommModbusTrv5200, kTrv5200Rows},
    {"9315", kCommModbus9315, k9315Rows}, {"inverter", kCommInverter, kInverterRows},
    {"meter", kCommMeter, kMeterRows},
};
constexpr PollRow kSensorRow[] = {{4, 0, 6}};

size_t AnswerBytes(const PollRow& r) {
  return 5 + (r.function <= 2 ? (r.quantity + 7u) / 8u : 2u * r.quantity);
}

// Counts the requests our master writes and notes when each went out.
class CountingPort final : public SerialPort {
 public:
  CountingPort(std::unique_ptr<SerialPort> inner, std::mutex& mu, std::condition_variable& cv,
               std::vector<Steady::time_point>& writes)
      : inner_(std::move(inner)), mu_(mu), cv_(cv), writes_(writes) {}
  void purgeReceive() override { inner_->purgeReceive(); }
  bool failed() const override { return inner_->failed(); }
  void sleepMs(uint32_t ms) override { inner_->sleepMs(ms); }

 protected:
  ssize_t writeSome(CBytes data) override {
    {
      std::lock_guard<std::mutex> g(mu_);
      writes_.push_back(Steady::now());
    }
    cv_.notify_all();
    return inner_->write(data) ? static_cast<ssize_t>(data.size()) : -1;
  }
  size_t readTimed(Bytes out, size_t wanted) override { return inner_->read(out, wanted); }

 private:
  std::unique_ptr<SerialPort> inner_;
  std::mutex& mu_;
  std::condition_variable& cv_;
  std::vector<Steady::time_point>& writes_;
};

class CountingOpener final : public PortOpener {
 public:
  CountingOpener(std::string path, std::mutex& mu, std::condition_variable& cv,
                 std::vector<Steady::time_point>& writes)
      : path_(std::move(path)), mu_(mu), cv_(cv), writes_(writes) {}
  std::unique_ptr<SerialPort> open(int, const SerialLineParams& p) override {
    std::string error;
    auto port = TermiosSerialPort::open(path_, p, 0, &error, nullptr);
    if (!port) return nullptr;
    return std::make_unique<CountingPort>(std::move(port), mu_, cv_, writes_);
  }

 private:
  std::string path_;
  std::mutex& mu_;
  std::condition_variable& cv_;
  std::vector<Steady::time_point>& writes_;
};

// Seconds per cycle of our master.
double OurCycle(const std::string& path, int baud, const Type& type, std::span<const PollRow> rows,
                int address, uint32_t polling, int cycles) {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<Steady::time_point> writes;
  CountingOpener opener(path, mu, cv, writes);
  SystemClock clock;
  ModbusRtuEngine engine(clock, nullptr);
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{polling, 3000});
  table.setEngine(static_cast<uint8_t>(type.commType), &engine);
  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  auto n = std::make_unique<DeviceNode>();
  n->setNodeKind(kNodeSerial);
  n->setCom("COM1");
  n->setUpsId(static_cast<int16_t>(address));
  n->setCommType(type.commType);
  n->setBaud(static_cast<uint16_t>(baud));
  n->setLinkStatus(kLinkIdentified);
  KeepOnlyCommTypeBlock(*n);
  if (type.commType == kCommSensor) PresetTwoPointSensor(*n->block(BlockKind::kSensor));
  if (type.commType == kCommModbusUps) n->block(BlockKind::kModbus)->putI32(1436, 3);
  DeviceNode* dev = root.addChild(n);
  table.AttachPortDevice(*dev, false);
  table.start();
  // A warm-up cycle, then the measured ones: request k * rows + 1 opens cycle k.
  const size_t per = rows.size();
  const size_t want = per * static_cast<size_t>(cycles + 1) + 1;
  std::unique_lock<std::mutex> g(mu);
  cv.wait_for(g, std::chrono::seconds(600), [&] { return writes.size() >= want; });
  const bool done = writes.size() >= want;
  const double seconds =
      done ? std::chrono::duration<double>(writes[want - 1] - writes[per]).count() / cycles : -1;
  g.unlock();
  table.StopSerialThreads();
  return seconds;
}

// Seconds per cycle of a plain libmodbus master; -1 without libmodbus.
double LibmodbusCycle(const std::string& path, int baud, std::span<const PollRow> rows, int address,
                      int cycles) {
#if LARK_HAVE_LIBMODBUS
  modbus_t* ctx = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
  if (ctx == nullptr) return -1;
  modbus_set_slave(ctx, address);
  modbus_set_response_timeout(ctx, 3, 0);
  if (modbus_connect(ctx) != 0) {
    modbus_free(ctx);
    return -1;
  }
  // The answer to our master's last request may still be on the line: a
  // master that read it would run one answer ahead.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  modbus_flush(ctx);
  std::vector<uint16_t> regs(256);
  std::vector<uint8_t> bits(2048);
  int failed = 0;
  auto cycle = [&] {
    for (const PollRow& r : rows) {
      int got = -1;
      if (r.function == 2) got = modbus_read_input_bits(ctx, r.start, r.quantity, bits.data());
      if (r.function == 3) got = modbus_read_registers(ctx, r.start, r.quantity, regs.data());
      if (r.function == 4) got = modbus_read_input_registers(ctx, r.start, r.quantity, regs.data());
      if (got != r.quantity) ++failed;
    }
  };
  cycle();
  const auto start = Steady::now();
  for (int i = 0; i < cycles; ++i) cycle();
  const double seconds = std::chrono::duration<double>(Steady::now() - start).count() / cycles;
  modbus_close(ctx);
  modbus_free(ctx);
  if (failed) std::fprintf(stderr, "libmodbus: %d reads failed\n", failed);
  return failed ? -1 : seconds;
#else
  (void)path, (void)baud, (void)rows, (void)address, (void)cycles;
  return -1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::string path, typeName;
  int baud = 9600, address = 1, cycles = 3;
  uint32_t polling = 300;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string o = argv[i];
    if (o == "--port")
      path = argv[i + 1];
    else if (o == "--baud")
      baud = std::atoi(argv[i + 1]);
    else if (o == "--type")
      typeName = argv[i + 1];
    else if (o == "--address")
      address = std::atoi(argv[i + 1]);
    else if (o == "--polling")
      polling = static_cast<uint32_t>(std::atoi(argv[i + 1]));
    else if (o == "--cycles")
      cycles = std::atoi(argv[i + 1]);
  }
  Type type{"sensor", kCommSensor, kSensorRow};
  for (const Type& t : kTypes) {
    if (typeName == t.name) type = t;
  }
  if (path.empty() || (typeName != "sensor" && type.commType == kCommSensor) || cycles < 1) {
    std::fprintf(stderr,
                 "usage: modbus_bench --port PATH --baud N --type TYPE --address A "
                 "[--polling MS] [--cycles N]\n");
    return 2;
  }
  double wireBytes = 0;
  for (const PollRow& r : type.rows) wireBytes += 8 + static_cast<double>(AnswerBytes(r));
  const double wire = wireBytes * 10 / baud;
  const double ours = OurCycle(path, baud, type, type.rows, address, polling, cycles);
  const double plain = LibmodbusCycle(path, baud, type.rows, address, cycles);
  std::printf("%-8s %6d baud  polling %4u ms  wire %7.1f ms  ours %7.1f ms (x%.2f)", type.name,
              baud, polling, wire * 1000, ours * 1000, ours / wire);
  if (plain > 0) {
    std::printf("  libmodbus %7.1f ms (x%.2f)  ours/libmodbus %.2f", plain * 1000, plain / wire,
                ours / plain);
  }
  std::printf("\n");
  return ours > 0 ? 0 : 1;
}
