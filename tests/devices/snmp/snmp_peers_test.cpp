// Independent peers: net-snmp's snmpget and snmpset against our simulator,
// and net-snmp's snmpd against our requests, decoder and response handler.
// Each test runs in its own network namespace on ports above 1024.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"
#include "devices/snmp/snmp_poller.h"
#include "devices/snmp/snmp_response.h"
#include "tests/devices/snmp/snmp_fixture.h"
#include "tests/support/background_program.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

constexpr uint16_t kPort = 16161;

using test::Child;

using test::Address;

// One request and the first datagram back (up to 1024 octets), with the
// sender's port; nothing after `ms`.
struct Reply {
  std::vector<uint8_t> bytes;
  uint16_t fromPort = 0;
};
std::optional<Reply> Exchange(const SnmpRequest& req, int ms = 2000, int* sock = nullptr) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = req.address;
  to.sin_port = htons(req.port);
  sendto(fd, req.bytes.data(), req.bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  pollfd p{fd, POLLIN, 0};
  std::optional<Reply> r;
  if (poll(&p, 1, ms) == 1) {
    uint8_t buf[kSnmpReceiveSize];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n >= 0) r = Reply{std::vector<uint8_t>(buf, buf + n), ntohs(from.sin_port)};
  }
  if (sock) {
    *sock = fd;
  } else {
    close(fd);
  }
  return r;
}

// A net-snmp tool's standard and error output.
std::string Tool(std::vector<std::string> argv) {
  std::string out;
  test::RunProgram(argv, out, true);
  return out;
}
std::string Get(const std::string& agent, const std::vector<std::string>& oids,
                const std::string& community = "public") {
  std::vector<std::string> argv = {"/usr/bin/snmpget", "-v1", "-c", community, "-On", "-t", "1", "-r", "1",
                                   agent + ":" + std::to_string(kPort)};
  argv.insert(argv.end(), oids.begin(), oids.end());
  return Tool(argv);
}

class SnmpPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
    setenv("MIBS", "", 1);  // net-snmp tools: numeric names only, no MIB files
  }
  test::TempDir dir;
};

TEST_F(SnmpPeers, NetSnmpToolsReadAndSetEverySimulatorFamily) {
  const std::string script = dir.file("sim.txt");
  auto writeScript = [&](const std::string& extra) {
    std::ofstream(script) << "agent ups 127.0.0.10:16161 maker\n"
                             "agent inv 127.0.0.11:16161 device\n"
                             "unit inv 3\nunit inv 100\n"
                             "agent std 127.0.0.12:16161 upsmib\n"
                             "value std 1.3.6.1.2.1.33.1.9.1.0 a 10.1.2.3\n"
                             "agent sys 127.0.0.13:16161 system community=secret\n"
                          << extra;
  };
  writeScript("");
  Child sim({test::BuiltProgram("tools/snmp_sim"), script}, dir.file("sim.log"));
  ASSERT_TRUE(sim.waitFor("ready")) << sim.output();

  struct Case {
    std::string agent, oid, type, value, shown;
  };
  const std::vector<Case> cases = {
      {"127.0.0.10", "1.3.6.1.4.1.7321.2.4.3.2.0", "i", "-7", "INTEGER: -7"},
      {"127.0.0.10", "1.3.6.1.4.1.7321.2.4.1.4.0", "s", "2.1c", "STRING: \"2.1c\""},
      {"127.0.0.10", "1.3.6.1.2.1.1.2.0", "o", "1.3.6.1.4.1.7321.2.4.9", "OID: .1.3.6.1.4.1.7321.2.4.9"},
      {"127.0.0.11", "1.3.6.1.4.1.7321.2.20.3.4.3.0", "i", "77", "INTEGER: 77"},
      {"127.0.0.11", "1.3.6.1.4.1.7321.2.20.100.2.3.0", "i", "640", "INTEGER: 640"},
      {"127.0.0.12", "1.3.6.1.2.1.33.1.6.1.0", "u", "3", "Gauge32: 3"},
      {"127.0.0.12", "1.3.6.1.2.1.33.1.3.1.0", "", "", "Counter32: 0"},  // snmpset has no Counter32
      {"127.0.0.12", "1.3.6.1.2.1.33.1.9.1.0", "a", "10.9.8.7", "IpAddress: 10.9.8.7"},
      {"127.0.0.12", "1.3.6.1.2.1.1.3.0", "t", "4242", "Timeticks: (4242)"},
  };
  for (const Case& c : cases) {
    std::string set = c.type.empty() ? c.shown : Tool({"/usr/bin/snmpset", "-v1", "-c", "public", "-On", "-t", "1", "-r", "1",
                           c.agent + ":" + std::to_string(kPort), c.oid, c.type, c.value});
    EXPECT_NE(set.find(c.shown), std::string::npos) << c.oid << ": " << set;
    std::string got = Get(c.agent, {c.oid});
    EXPECT_NE(got.find(c.shown), std::string::npos) << c.oid << ": " << got;
  }
  // The system family answers its own community only; a missing object is
  // noSuchName there, NULL in the maker family; a wrong type is badValue.
  EXPECT_NE(Get("127.0.0.13", {"1.3.6.1.2.1.1.5.0"}, "secret").find("STRING: \"sys\""), std::string::npos);
  EXPECT_NE(Get("127.0.0.13", {"1.3.6.1.2.1.1.5.0"}).find("Timeout"), std::string::npos);
  EXPECT_NE(Get("127.0.0.13", {"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.99.0"}, "secret").find("noSuchName"),
            std::string::npos);
  EXPECT_NE(Get("127.0.0.10", {"1.3.6.1.4.1.7321.2.4.3.99.0"}).find("NULL"), std::string::npos);
  EXPECT_NE(Tool({"/usr/bin/snmpset", "-v1", "-c", "public", "127.0.0.12:16161", "1.3.6.1.2.1.33.1.6.1.0",
                 "i", "1"})
                .find("badValue"),
            std::string::npos);

  // A new script on SIGHUP; counts by agent on SIGUSR1.
  writeScript("value ups 1.3.6.1.4.1.7321.2.4.3.3.0 i 555\n");
  sim.signal(SIGHUP);
  ASSERT_TRUE(sim.waitFor("reloaded"));
  EXPECT_NE(Get("127.0.0.10", {"1.3.6.1.4.1.7321.2.4.3.3.0"}).find("INTEGER: 555"), std::string::npos);
  sim.signal(SIGUSR1);
  EXPECT_TRUE(sim.waitFor("requests ups 127.0.0.10:16161 8")) << sim.output();
}

TEST_F(SnmpPeers, SimulatorFaultsAsOurDecoderSeesThem) {
  const std::string script = dir.file("sim.txt");
  std::ofstream(script) << "agent ok 127.0.0.20:16161 maker\n"
                           "agent silent 127.0.0.21:16161 maker\nfault silent silence\n"
                           "agent late 127.0.0.22:16161 maker\nfault late late 1500\n"
                           "agent wrongid 127.0.0.23:16161 maker\nfault wrongid wrongid\n"
                           "agent otherport 127.0.0.24:16161 maker\nfault otherport otherport\n"
                           "agent big 127.0.0.25:16161 maker\nfault big big\n"
                           "agent garbage 127.0.0.26:16161 maker\nfault garbage garbage\n"
                           "agent trap 127.0.0.27:16161 maker\nfault trap trap\n"
                           "agent getreq 127.0.0.28:16161 maker\nfault getreq getrequest\n"
                           "agent alarm 127.0.0.29:16161 maker\nalarm alarm 1.3.6.1.4.1.7321.2.4.9.1.0 2\n";
  Child sim({test::BuiltProgram("tools/snmp_sim"), script}, dir.file("sim.log"));
  ASSERT_TRUE(sim.waitFor("ready")) << sim.output();

  struct Case {
    const char* address;
    int wantDecode;   // -2: nothing arrives in time
    bool samePort;
    bool sameId;
    uint8_t pdu;
  };
  const std::vector<Case> cases = {
      {"127.0.0.20", 0, true, true, kPduGetResponse},  {"127.0.0.21", -2, true, true, 0},
      {"127.0.0.22", -2, true, true, 0},               {"127.0.0.23", 0, true, false, kPduGetResponse},
      {"127.0.0.24", 0, false, true, kPduGetResponse}, {"127.0.0.25", -1, true, true, 0},
      {"127.0.0.26", -1, true, true, 0},               {"127.0.0.27", 2, true, true, kPduTrap},
      {"127.0.0.28", 0, true, true, kPduGetRequest},
  };
  for (const Case& c : cases) {
    DeviceNode node;
    test::MakeSnmpNode(node, kMibMakerUps);
    node.setResolvedAddress(Address(c.address));
    SnmpDeviceEntry entry;
    SnmpCodec codec, dec;
    SnmpRequest req;
    ASSERT_EQ(SnmpPollDevice(codec, entry, node, 7000, nullptr, &req), SnmpBuild::kReady);
    std::optional<Reply> r = Exchange(req, 800);
    if (c.wantDecode == -2) {
      EXPECT_FALSE(r) << c.address;
      continue;
    }
    ASSERT_TRUE(r) << c.address;
    EXPECT_EQ(SnmpDecodeMessage(dec, r->bytes), c.wantDecode) << c.address;
    EXPECT_EQ(r->fromPort == kPort, c.samePort) << c.address;
    if (c.wantDecode < 0) continue;
    EXPECT_EQ(dec.message.pdu, c.pdu) << c.address;
    if (c.wantDecode == 0) {
      EXPECT_EQ(dec.message.requestId == 7, c.sameId) << c.address;
    }
  }

  // The alarm word comes and goes: 0, 0, 1, 1, 0 by request.
  DeviceNode node;
  test::MakeSnmpNode(node, kMibMakerUps);
  node.setResolvedAddress(Address("127.0.0.29"));
  std::vector<int32_t> seen;
  for (int k = 0; k < 5; ++k) {
    SnmpDeviceEntry entry;
    entry.pollMasks.fill(0);
    entry.pollMasks[9] = 1;
    node.block(BlockKind::kSnmp)->putI16(snmp_off::kRequestBudget, 1);
    SnmpCodec codec, dec;
    SnmpRequest req;
    ASSERT_EQ(SnmpPollDevice(codec, entry, node, 0, nullptr, &req), SnmpBuild::kReady);
    std::optional<Reply> r = Exchange(req);
    ASSERT_TRUE(r);
    ASSERT_EQ(SnmpDecodeMessage(dec, r->bytes), 0);
    seen.push_back(dec.bindings()[0].integer);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 0, 1, 1, 0}));
  sim.stop(SIGTERM);
  EXPECT_NE(sim.output().find("requests alarm 127.0.0.29:16161 5"), std::string::npos) << sim.output();
}

TEST_F(SnmpPeers, SnmpdAnswersOurRequests) {
  // Every object our first requests ask for, by MibType.
  std::string conf =
      "rocommunity public 127.0.0.0/8\n"
      "rwcommunity private 127.0.0.0/8\n"
      "sysName ups-room\nsysLocation hall 2\n"  // sysContact stays writable
      "sysObjectID 1.3.6.1.4.1.7321.2.20\n"
      "override 1.3.6.1.4.1.7321.2.4.1.2.0 octet_str \"3000VA\"\n"
      "override -rw 1.3.6.1.4.1.7321.2.4.8.1.0 integer 0\n";
  const int makerObjects[][3] = {{3, 1, 231}, {4, 1, 2}, {5, 3, 48}, {6, 2, 0},  {7, 6, 9},   {8, 2, 12},
                                 {9, 1, 1},   {10, 1, 11}, {10, 2, 12}, {10, 3, 13}, {10, 4, 14}};
  for (auto& o : makerObjects) {
    conf += "override 1.3.6.1.4.1.7321.2.4." + std::to_string(o[0]) + "." + std::to_string(o[1]) +
            ".0 integer " + std::to_string(o[2]) + "\n";
  }
  for (int g = 1; g <= 3; ++g) {
    for (int i = 1; i <= (g == 1 ? 2 : g == 2 ? 4 : 9); ++i) {
      conf += "override 1.3.6.1.4.1.7321.2.20.3." + std::to_string(g) + "." + std::to_string(i) +
              ".0 integer " + std::to_string(g * 100 + i) + "\n";
    }
  }
  conf += "override 1.3.6.1.4.1.7321.2.20.100.2.3.0 integer 640\n"
          "override 1.3.6.1.4.1.7321.2.20.100.2.4.0 integer 215\n";
  std::ofstream(dir.file("snmpd.conf")) << conf;
  Child snmpd({"/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", dir.file("snmpd.conf"), "udp:127.0.0.9:16161"},
              dir.file("snmpd.log"), {"SNMP_PERSISTENT_DIR=" + dir.file("persist"), "MIBS="});
  // Up once it answers.
  ASSERT_TRUE(test::Eventually(
      [&] { return Get("127.0.0.9", {"1.3.6.1.2.1.1.5.0"}).find("ups-room") != std::string::npos; }, 30000,
      100))
      << snmpd.output();

  // Nodes behind 127.0.0.9: the one we poll, and the sensor at UPSID 32.
  std::vector<std::unique_ptr<DeviceNode>> nodes;
  std::vector<SnmpDeviceEntry> entries(3);
  FakeClock clock(5000);
  SnmpResponseContext ctx;
  ctx.clock = &clock;
  ctx.findPeer = [&](uint32_t address, int16_t upsId) {
    for (size_t k = 0; k < nodes.size(); ++k) {
      if (nodes[k]->resolvedAddress() == address && nodes[k]->upsId() == upsId) {
        return SnmpPeer{nodes[k].get(), &entries[k]};
      }
    }
    return SnmpPeer{};
  };
  auto poll = [&](size_t k) {
    SnmpCodec codec, dec;
    SnmpRequest req;
    ASSERT_EQ(SnmpPollDevice(codec, entries[k], *nodes[k], clock.tickMs(), nullptr, &req), SnmpBuild::kReady);
    std::optional<Reply> r = Exchange(req);
    ASSERT_TRUE(r);
    ASSERT_EQ(SnmpDecodeMessage(dec, r->bytes), 0);
    SnmpApplyResponse(ctx, dec, entries[k], *nodes[k]);
  };
  auto add = [&](uint8_t mib, int16_t upsId) {
    nodes.push_back(std::make_unique<DeviceNode>());
    test::MakeSnmpNode(*nodes.back(), mib, upsId);
    nodes.back()->setResolvedAddress(Address("127.0.0.9"));
    return nodes.back().get();
  };
  DeviceNode* dev = add(kMibUnknown, 3);
  DeviceNode* sensor = add(kMibSensor, 32);
  DeviceNode* ups = add(kMibMakerUps, 1);

  // Discovery: snmpd lacks the maker identification object (noSuchName, 5),
  // which the next request leaves out; then it identifies the device MIB.
  poll(0);
  EXPECT_EQ(entries[0].discoveryMissing, 1u << 4);
  EXPECT_EQ(dev->mibType(), kMibUnknown);
  poll(0);
  EXPECT_EQ(dev->mibType(), kMibInverter);
  LiveDataBlock& db = *dev->block(BlockKind::kSnmp);
  EXPECT_EQ(db.text(snmp_off::kSysName, snmp_off::kSysNameSize), "ups-room");
  EXPECT_EQ(db.text(snmp_off::kSysLocation, snmp_off::kSysLocationSize), "hall 2");
  EXPECT_NE(db.text(snmp_off::kSysContact, snmp_off::kSysContactSize), "");
  // As an inverter now: groups 1..3 of unit 3.
  poll(0);
  EXPECT_EQ(db.slot(21), 102);
  EXPECT_EQ(db.slot(17), 202);
  EXPECT_EQ(db.slot(0), 302);
  EXPECT_EQ(db.slot(7), 309);

  poll(1);
  EXPECT_EQ(sensor->block(BlockKind::kSnmp)->slot(0), 640);
  EXPECT_EQ(sensor->block(BlockKind::kSnmp)->slot(1), 215);

  poll(2);
  LiveDataBlock& ub = *ups->block(BlockKind::kSnmp);
  EXPECT_EQ(ub.text(snmp_off::kText1Item2, snmp_off::kText1Item2Size), "3000VA");
  EXPECT_EQ(ub.slot(20), 231);
  EXPECT_EQ(ub.slot(39), 48);
  EXPECT_EQ(ub.slot(68), 9);
  EXPECT_EQ(ub.slot(73), 12);
  EXPECT_EQ(ub.slot(77), 14);
  EXPECT_EQ(ub.i32(snmp_off::kAlarmWords), 1);

  // SetRequests: a maker object and sysContact, read back by snmpget.
  ups->setCommunity("private");
  for (auto [group, item, value, name] :
       std::vector<std::tuple<int, int, std::string, std::string>>{{8, 0, "2", "nupsTestType(r/w)"},
                                                                   {0, 3, "night shift", "\"sysContact"}}) {
    SnmpCodec codec, dec;
    SnmpRequest req;
    ASSERT_EQ(SnmpBuildSet(codec, *ups, group, item, value, name, 9000, nullptr, &req), SnmpBuild::kReady);
    std::optional<Reply> r = Exchange(req);
    ASSERT_TRUE(r);
    ASSERT_EQ(SnmpDecodeMessage(dec, r->bytes), 0);
    EXPECT_EQ(dec.message.pdu, kPduGetResponse);
    EXPECT_EQ(dec.message.errorStatus, 0) << group;
  }
  std::string got = Get("127.0.0.9", {"1.3.6.1.4.1.7321.2.4.8.1.0", "1.3.6.1.2.1.1.4.0"});
  EXPECT_NE(got.find("INTEGER: 2"), std::string::npos) << got;
  EXPECT_NE(got.find("STRING: \"night shift\""), std::string::npos) << got;
}

}  // namespace
}  // namespace lark
