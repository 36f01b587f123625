// The SNMP device table's rounds against a fake socket and clock: pacing,
// time-outs, registration, which datagrams are taken, socket trouble, names
// resolved off the poll thread; the poll thread's pause and stop.
#include "devices/snmp/snmp_device_table.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"
#include "devices/snmp/snmp_manager.h"
#include "devices/snmp/snmp_poll_thread.h"
#include "tests/devices/snmp/snmp_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using snmp_off::kNoResponseBit;

using test::Address;

struct Sent {
  std::vector<uint8_t> bytes;
  uint32_t address;
  uint16_t port;
};

class FakeSocket final : public SnmpSocket {
 public:
  struct Incoming {
    SnmpReceive kind = SnmpReceive::kDatagram;
    std::vector<uint8_t> bytes;
    uint32_t address = 0;
    uint16_t port = 0;
  };
  bool isOpen() const override { return open_; }
  bool open() override {
    std::lock_guard<std::mutex> l(mu);
    ++opens;
    open_ = !failOpen;
    return open_;
  }
  void close() override { open_ = false; }
  int handle() const override { return open_ ? 7 : -1; }
  SnmpReceive receive(Bytes buf, size_t* length, uint32_t* address, uint16_t* port) override {
    std::lock_guard<std::mutex> l(mu);
    if (incoming.empty()) return SnmpReceive::kNone;
    Incoming in = std::move(incoming.front());
    incoming.pop_front();
    if (in.kind != SnmpReceive::kDatagram) return in.kind;
    EXPECT_LE(in.bytes.size(), buf.size());
    std::copy(in.bytes.begin(), in.bytes.end(), buf.begin());
    *length = in.bytes.size();
    *address = in.address;
    *port = in.port;
    return SnmpReceive::kDatagram;
  }
  bool send(CBytes d, uint32_t address, uint16_t port) override {
    std::lock_guard<std::mutex> l(mu);
    sent.push_back(Sent{{d.begin(), d.end()}, address, port});
    return true;
  }
  size_t sentCount() {
    std::lock_guard<std::mutex> l(mu);
    return sent.size();
  }

  std::mutex mu;
  std::deque<Incoming> incoming;
  std::vector<Sent> sent;
  bool failOpen = false;
  int opens = 0;

 private:
  std::atomic<bool> open_{false};
};

// A GetResponse to `request` (its id and community unless told otherwise).
std::vector<uint8_t> Answer(const Sent& request, const std::vector<test::Bind>& binds,
                            uint8_t pdu = kPduGetResponse, int32_t idDelta = 0,
                            std::string community = "public") {
  SnmpCodec req;
  EXPECT_EQ(SnmpDecodeMessage(req, request.bytes), 0);
  SnmpCodec enc;
  enc.message.community =
      CBytes(reinterpret_cast<const uint8_t*>(community.data()), community.size());
  enc.message.pdu = pdu;
  enc.message.requestId = req.message.requestId + idDelta;
  for (const test::Bind& b : binds) {
    bool ok =
        b.type == kBerOctetString
            ? enc.addOctets(b.name.span(),
                            CBytes(reinterpret_cast<const uint8_t*>(b.text.data()), b.text.size()))
            : enc.addInteger(b.name.span(), b.integer, b.type);
    EXPECT_TRUE(ok);
  }
  CBytes out;
  EXPECT_EQ(SnmpEncodeMessage(enc, &out), 0);
  return {out.begin(), out.end()};
}

class TableTest : public ::testing::Test {
 protected:
  TableTest() : monitor(clock, dir.path()), table(tree, socket, nullptr, clock, monitor) {
    Tree_ResetRoot(tree);
  }

  DeviceNode& AddNode(const std::string& ip, int16_t upsId = 1, uint8_t mib = kMibMakerUps,
                      uint16_t port = 16161, bool expectAdded = true) {
    DeviceNode* node = Tree_CreateNode(tree, kNodeSnmp, ip);
    EXPECT_NE(node, nullptr);
    node->setUpsId(upsId);
    node->setMibType(mib);
    node->setPort(port);
    node->setCommunity("public");
    EXPECT_EQ(table.AddSnmpDevice(*node), expectAdded) << ip;
    return *node;
  }
  void Settings(int32_t pollingMs, int32_t timeoutSeconds) {
    table.setSettings(SnmpPollSettings{pollingMs, timeoutSeconds, 15});
  }
  // Runs `n` rounds, 100 ms apart; the polls sent in each.
  std::vector<size_t> Rounds(int n) {
    std::vector<size_t> perRound;
    for (int i = 0; i < n; ++i) {
      size_t before = socket.sent.size();
      table.round();
      clock.advance(100);
      perRound.push_back(socket.sent.size() - before);
    }
    return perRound;
  }

  test::TempDir dir;
  FakeClock clock{0};
  FakeSocket socket;
  DeviceTree tree;
  SnmpTrafficMonitor monitor;
  SnmpDeviceTable table;
};

TEST_F(TableTest, ExchangesSpreadThePollsOverTheInterval) {
  struct Case {
    int32_t pollingMs;
    int devices;
    std::vector<size_t> polls;  // per round, from the second round on
  };
  const Case cases[] = {
      {1000, 3, {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}},  // one device every fourth round
      {1000, 25, {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}},
      {50, 2, {2, 2, 2, 2}},  // below one round: every round, every device
      {1, 1, {1, 1}},
  };
  for (const Case& c : cases) {
    table.ClearSnmpDeviceTable();
    table.resetResolutionPeriod();
    Tree_ResetRoot(tree);
    socket.sent.clear();
    Settings(c.pollingMs, 60);
    for (int i = 0; i < c.devices; ++i) AddNode("127.0.1." + std::to_string(i + 1));
    Rounds(1);  // takes the new entries up
    EXPECT_EQ(Rounds(static_cast<int>(c.polls.size())), c.polls)
        << c.pollingMs << " ms, " << c.devices << " devices";
  }
}

TEST_F(TableTest, TheTimeOutPollSetsNoResponseInsteadOfSending) {
  clock.setTick(0xFFFFFFFFu - 5000);  // the tick wraps on the way
  Settings(1000, 30);
  DeviceNode& node = AddNode("127.0.0.9");
  Rounds(1);
  LiveDataBlock& blk = *node.block(BlockKind::kSnmp);
  // One poll every ten rounds: 29 go out, the 30th turn marks the device.
  EXPECT_EQ(socket.sent.size(), 0u);
  Rounds(290);
  EXPECT_EQ(socket.sent.size(), 29u);
  EXPECT_EQ(blk.mask(MaskWord::kCurrent) & kNoResponseBit, 0u);
  Rounds(10);
  EXPECT_EQ(socket.sent.size(), 29u);
  EXPECT_NE(blk.mask(MaskWord::kCurrent) & kNoResponseBit, 0u);
  Rounds(10);  // counting restarts: polled again
  EXPECT_EQ(socket.sent.size(), 30u);
}

TEST_F(TableTest, RegistrationRefusesDuplicatesAndAFullTable) {
  AddNode("agent.example", 1);
  AddNode("AGENT.example", 1, kMibMakerUps, 16161, false);  // same host and UPSID
  AddNode("agent.example", 2);                              // another UPSID
  AddNode("0.0.0.0", 1);                                    // new nodes of a console
  AddNode("0.0.0.0", 1);
  DeviceNode& n = AddNode("127.0.0.5", 1);
  EXPECT_FALSE(table.AddSnmpDevice(n));  // the same node twice
  std::vector<std::unique_ptr<DeviceNode>> more;
  for (int i = table.count(); i <= kSnmpTableCapacity; ++i) {
    more.push_back(std::make_unique<DeviceNode>());
    more.back()->setId(static_cast<int16_t>(1000 + i));
    more.back()->setIp("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250));
    EXPECT_EQ(table.AddSnmpDevice(*more.back()), i < kSnmpTableCapacity)
        << i;  // the 1001st refused
  }
  EXPECT_EQ(table.count(), kSnmpTableCapacity);
  table.RemoveSnmpDevice(n.id());
  EXPECT_EQ(table.FindSnmpDevice(n.id()), -1);
  EXPECT_EQ(table.count(), kSnmpTableCapacity - 1);
}

TEST_F(TableTest, OnlyTheAnswerToARecentRequestIsApplied) {
  Settings(100, 60);
  DeviceNode& node = AddNode("127.0.0.9", kSensorUpsId, kMibSensor);
  AddNode("127.0.0.9", 1, kMibMakerUps, 16162);  // same address, other port
  LiveDataBlock& blk = *node.block(BlockKind::kSnmp);
  Rounds(1);
  const uint32_t a = Address("127.0.0.9");
  const std::vector<test::Bind> value{test::Int(DeviceOid(kSensorUnit, 2, 3), 500)};
  // Answers the sensor's latest request after one more round.
  auto answerNext = [&](std::vector<uint8_t> (*make)(const Sent&, const std::vector<test::Bind>&),
                        uint32_t address, uint16_t port) {
    table.round();
    const Sent* req = nullptr;
    for (const Sent& s : socket.sent) {
      if (s.port == 16161) req = &s;
    }
    EXPECT_NE(req, nullptr);
    socket.incoming.push_back({SnmpReceive::kDatagram, make(*req, value), address, port});
    table.round();
  };
  using Make = std::vector<uint8_t> (*)(const Sent&, const std::vector<test::Bind>&);
  const Make right = [](const Sent& r, const std::vector<test::Bind>& v) { return Answer(r, v); };
  struct Case {
    const char* what;
    Make make;
    uint32_t address;
    uint16_t port;
  };
  const Case cases[] = {
      {"wrong port", right, a, 16163},
      {"the other node's port", right, a, 16162},
      {"unknown address", right, Address("127.0.0.10"), 16161},
      {"wrong id",
       [](const Sent& r, const std::vector<test::Bind>& v) {
         return Answer(r, v, kPduGetResponse, 1000);
       },
       a, 16161},
      {"wrong community",
       [](const Sent& r, const std::vector<test::Bind>& v) {
         return Answer(r, v, kPduGetResponse, 0, "private");
       },
       a, 16161},
      {"a GetRequest",
       [](const Sent& r, const std::vector<test::Bind>& v) { return Answer(r, v, kPduGetRequest); },
       a, 16161},
      {"garbage",
       [](const Sent&, const std::vector<test::Bind>&) {
         return std::vector<uint8_t>{0x30, 3, 2, 1};
       },
       a, 16161},
  };
  for (const Case& c : cases) {
    blk.setMaskBits(MaskWord::kCurrent, kNoResponseBit);
    answerNext(c.make, c.address, c.port);
    EXPECT_NE(blk.slot(0), 500) << c.what;
    EXPECT_NE(blk.mask(MaskWord::kCurrent) & kNoResponseBit, 0u) << c.what;
  }
  answerNext(right, a, 16161);
  EXPECT_EQ(blk.slot(0), 500);
  EXPECT_EQ(blk.mask(MaskWord::kCurrent) & kNoResponseBit, 0u);
  // A replay of an answer already taken changes nothing.
  const Sent last = socket.sent.back();
  socket.incoming.push_back({SnmpReceive::kDatagram, Answer(last, value), a, last.port});
  socket.incoming.push_back({SnmpReceive::kDatagram, Answer(last, value), a, last.port});
  table.round();
  blk.setSlot(0, 1);
  socket.incoming.push_back({SnmpReceive::kDatagram, Answer(last, value), a, last.port});
  table.round();
  EXPECT_EQ(blk.slot(0), 1);
}

TEST_F(TableTest, ALargeAnswerAndPerDatagramErrorsKeepTheSocket) {
  Settings(100, 60);
  DeviceNode& node = AddNode("127.0.0.9");
  Rounds(2);
  ASSERT_EQ(socket.sent.size(), 1u);
  // 40 bindings with texts: more than 1024 octets.
  std::vector<test::Bind> binds{test::Text(SystemOid(kItemSysName), std::string(31, 'N'))};
  for (OidRef o :
       {SystemOid(kItemSysLocation), SystemOid(kItemSysContact), MakerOid(1, 1), MakerOid(1, 6)}) {
    binds.push_back(test::Text(o, std::string(100, 'T')));
  }
  for (uint32_t i = 1; binds.size() < 40; ++i)
    binds.push_back(test::Int(MakerOid(9, 1 + i % 28), 0));
  std::vector<uint8_t> big = Answer(socket.sent[0], binds);
  ASSERT_GT(big.size(), 1024u);
  socket.incoming.push_back({SnmpReceive::kSkip, {}, 0, 0});
  socket.incoming.push_back({SnmpReceive::kDatagram, big, Address("127.0.0.9"), 16161});
  table.round();
  EXPECT_TRUE(socket.isOpen());
  EXPECT_EQ(node.block(BlockKind::kSnmp)->text(snmp_off::kSysName, snmp_off::kSysNameSize),
            std::string(31, 'N'));

  // A broken socket: closed, the device silent, reopened next round.
  socket.incoming.push_back({SnmpReceive::kFatal, {}, 0, 0});
  table.round();
  EXPECT_NE(node.block(BlockKind::kSnmp)->mask(MaskWord::kCurrent) & kNoResponseBit, 0u);
  const int opens = socket.opens;
  table.round();
  EXPECT_EQ(socket.opens, opens + 1);
  EXPECT_TRUE(socket.isOpen());
}

TEST_F(TableTest, ASocketThatCannotOpenIsReportedOnceUntilItOpens) {
  int reports = 0;
  SnmpDeviceTable t(tree, socket, nullptr, clock, monitor,
                    SnmpTableHooks{nullptr, {}, {}, [&] { ++reports; }});
  socket.failOpen = true;
  for (int i = 0; i < 5; ++i) t.round();
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(socket.opens, 5);
  socket.failOpen = false;
  t.round();
  socket.close();
  socket.failOpen = true;
  t.round();
  t.round();
  EXPECT_EQ(reports, 2);
}

TEST_F(TableTest, AnEntryWhoseNodeLeftTheTreeIsSkipped) {
  Settings(100, 60);
  AddNode("127.0.0.9");
  DeviceNode& other = AddNode("127.0.0.10");
  tree.root().detachChild(0);  // gone without a word to the table
  Rounds(3);
  ASSERT_FALSE(socket.sent.empty());
  for (const Sent& s : socket.sent) EXPECT_EQ(s.address, Address("127.0.0.10"));
  EXPECT_EQ(other.resolvedAddress(), Address("127.0.0.10"));
}

TEST_F(TableTest, SensorPollCountsShowAtMost255) {
  Settings(100, 60);  // a time-out of 600 polls
  DeviceNode& node = AddNode("127.0.0.9", kSensorUpsId, kMibSensor);
  Rounds(301);
  LiveDataBlock& blk = *node.block(BlockKind::kSnmp);
  EXPECT_EQ(blk.u8(snmp_off::kSensorPollCounter1), 255);
  EXPECT_EQ(blk.mask(MaskWord::kCurrent) & 0x3, 0u);
  blk.putU8(snmp_off::kSensorPollCounter1, 0);  // its value arrived
  Rounds(1);
  EXPECT_EQ(blk.u8(snmp_off::kSensorPollCounter1), 1);
  EXPECT_EQ(blk.u8(snmp_off::kSensorPollCounter2), 255);
}

TEST(SnmpPace, RoundsAndPollsNeverZeroNorOverflow) {
  struct Case {
    int32_t polling, timeout;
    int64_t rounds, timeoutPolls, refreshPolls;
  };
  const Case cases[] = {
      {1000, 60, 10, 60, 300},
      {50, 30, 1, 600, 6000},
      {0, 0, 1, 1, 300000},
      {INT32_MAX, INT32_MAX, INT32_MAX / 100, 1000, 1},
      {1, INT32_MAX, 1, int64_t{INT32_MAX} * 1000, 300000},
  };
  for (const Case& c : cases) {
    SnmpPollPace p = SnmpPaceOf(SnmpPollSettings{c.polling, c.timeout, 15});
    EXPECT_EQ(p.roundsPerInterval, c.rounds) << c.polling;
    EXPECT_EQ(p.timeoutPolls, c.timeoutPolls) << c.polling;
    EXPECT_EQ(p.refreshPolls, c.refreshPolls) << c.polling;
  }
}

TEST(SnmpPace, DeadlinesKeepPaceAcrossTheWrap) {
  struct Case {
    uint32_t deadline, now, next;
  };
  const Case cases[] = {
      {1000, 1040, 1100},                // a round that took 40 ms
      {1000, 1150, 1100},                // late: the next comes at once
      {1000, 1250, 1250},                // more than a round behind: from now
      {0xFFFFFFF0u, 0xFFFFFFF5u, 0x54},  // across the wrap
      {0xFFFFFFF0u, 0x200, 0x200},
  };
  for (const Case& c : cases) EXPECT_EQ(SnmpNextDeadline(c.deadline, c.now), c.next) << c.now;
}

// The poll thread runs rounds on its own, stands still while paused and is
// joined by stop; names resolve on the resolver thread while it polls.
TEST(SnmpThread, PausesStopsAndPollsWhileANameIsLookedUp) {
  test::TempDir dir;
  SystemClock clock;
  DeviceTree tree;
  Tree_ResetRoot(tree);
  std::mutex mu;
  std::condition_variable cv;
  bool released = false;
  auto socketOwned = std::make_unique<FakeSocket>();
  FakeSocket& socket = *socketOwned;
  SnmpManagerOptions o;
  o.installDir = dir.path();
  o.socket = std::move(socketOwned);
  o.lookUp = [&](const std::string& host) {
    std::unique_lock<std::mutex> l(mu);
    cv.wait(l, [&] { return released; });
    return host == "ups.example" ? Address("127.0.0.77") : 0u;
  };
  SnmpManager snmp(tree, clock, std::move(o));
  snmp.table().setSettings(SnmpPollSettings{100, 60, 15});
  DeviceNode* named = Tree_CreateNode(tree, kNodeSnmp, "ups.example");
  DeviceNode* dotted = Tree_CreateNode(tree, kNodeSnmp, "127.0.0.9");
  for (DeviceNode* n : {named, dotted}) {
    n->setMibType(kMibMakerUps);
    n->setCommunity("public");
    ASSERT_TRUE(snmp.table().AddSnmpDevice(*n));
  }
  EXPECT_EQ(named->resolvedAddress(), 0u);
  ASSERT_TRUE(snmp.openSocket());
  snmp.startThread();
  EXPECT_TRUE(test::Eventually([&] { return socket.sentCount() >= 3; }, 10000));  // the dotted node, resolver held

  snmp.thread().pause();
  size_t paused = socket.sentCount();
  // Time for a stray request: a bound a slow machine can only make pass more easily.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(socket.sentCount(), paused);
  snmp.thread().resume();

  {
    std::lock_guard<std::mutex> l(mu);
    released = true;
  }
  cv.notify_all();
  EXPECT_TRUE(test::Eventually([&] {
    std::lock_guard<std::mutex> l(socket.mu);
    for (const Sent& s : socket.sent) {
      if (s.address == Address("127.0.0.77")) return true;
    }
    return false;
  }, 10000));
  snmp.stop();
  EXPECT_FALSE(snmp.thread().running());
  EXPECT_EQ(snmp.table().count(), 0);
}

// The console's edit keeps the node's entry and takes it up at once; stop
// all alarms touches the table's nodes only.
TEST(SnmpManagerTest, AnEditedNodeKeepsItsEntryAndAlarmsStopOnTableNodesOnly) {
  test::TempDir dir;
  FakeClock clock;
  DeviceTree tree;
  Tree_ResetRoot(tree);
  SnmpManagerOptions o;
  o.installDir = dir.path();
  o.socket = std::make_unique<FakeSocket>();
  SnmpManager snmp(tree, clock, std::move(o));
  ASSERT_TRUE(snmp.openSocket());
  DeviceNode* a = Tree_CreateNode(tree, kNodeSnmp, "0.0.0.0");
  DeviceNode* b = Tree_CreateNode(tree, kNodeSnmp, "0.0.0.0");
  DeviceNode* serial = Tree_CreateNode(tree, kNodeSerial, "");
  ASSERT_TRUE(a && b && serial);
  ASSERT_TRUE(snmp.table().AddSnmpDevice(*a));
  ASSERT_EQ(snmp.table().entry(0).state, kSnmpEntryIdle);

  a->setIp("127.0.0.20");
  a->setUpsId(4);
  snmp.nodeEdited(*a);
  EXPECT_EQ(snmp.table().FindSnmpDevice(a->id()), 0);
  EXPECT_EQ(snmp.table().count(), 1);
  EXPECT_EQ(snmp.table().entry(0).state, kSnmpEntryActive);
  EXPECT_EQ(a->resolvedAddress(), Address("127.0.0.20"));
  snmp.nodeEdited(*b);  // refused earlier or never added: registered now
  EXPECT_EQ(snmp.table().FindSnmpDevice(b->id()), 1);

  for (DeviceNode* n : {a, b, serial}) {
    n->setAlarmState(AlarmArray::kReactionActive, 3, 1);
    n->setAlarmState(AlarmArray::kReactionActiveExt, 199, 1);
  }
  snmp.stopAllAlarms();
  for (DeviceNode* n : {a, b}) {
    EXPECT_EQ(n->alarmState(AlarmArray::kReactionActive, 3), 0);
    EXPECT_EQ(n->alarmState(AlarmArray::kReactionActiveExt, 199), 0);
  }
  EXPECT_EQ(serial->alarmState(AlarmArray::kReactionActive, 3), 1);
}

TEST(SnmpMonitor, LinesWithTimeAddressAndDirectionInTheNextOfFiveFiles) {
  test::TempDir dir;
  FakeClock clock(0, WallTime{2026, 12, 10, 4, 7, 5, 9, 0});
  SnmpTrafficMonitor m(clock, dir.path());
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(m.open());
    m.log("127.0.0.9", "1.3.6.1.2.1.1.5.0 = \"x\"", i % 2);
  }
  m.close();
  EXPECT_FALSE(m.isOn());
  auto read = [&](int n) {
    std::ifstream f(dir.path() + "/NetworkMonitor" + std::to_string(n) + ".txt", std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  };
  EXPECT_EQ(read(0), "\r\n07:05:09 127.0.0.9 Rx<: 1.3.6.1.2.1.1.5.0 = \"x\"");  // the sixth
  EXPECT_EQ(read(1), "\r\n07:05:09 127.0.0.9 Rx<: 1.3.6.1.2.1.1.5.0 = \"x\"");
  EXPECT_EQ(read(2), "\r\n07:05:09 127.0.0.9 Tx>: 1.3.6.1.2.1.1.5.0 = \"x\"");
}

}  // namespace
}  // namespace lark
