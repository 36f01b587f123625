// Larkcore polling simulated SNMP agents, in a private network namespace:
// devices added by a console, their blocks read back through the link, an
// agent that falls silent and comes back, the network monitor, the stop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/bytes.h"
#include "core/device_node.h"
#include "core/device_tree.h"
#include "core/map_file.h"
#include "devices/snmp/snmp_device_table.h"
#include "devices/snmp/snmp_live_data.h"
#include "linkserver/link_commands.h"
#include "platform/profile.h"
#include "tests/support/background_program.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Cat(V a, const V& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
V Id(int v) { return V{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }

// Command 14 sub 2 for an SNMP node: the image, then the reported mask.
V SnmpProperties(int id, const std::string& ip, uint16_t port, int16_t upsId, uint8_t mib) {
  V img(kDeviceNodeSize, 0);
  putStr(img, node_off::kTitle, node_off::kTitleSize, "agent " + std::to_string(id));
  putStr(img, node_off::kIp, node_off::kIpSize, ip);
  putStr(img, node_off::kCommunity, node_off::kCommunitySize, "public");
  putU16(img, node_off::kPort, port);
  putI16(img, node_off::kUpsId, upsId);
  img[node_off::kMibType] = mib;
  return Cat(Cat(Cat({2}, Id(id)), img), V(8, 0));
}

bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
  for (int i = 0; i < ms / 100 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return done();
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class SnmpService : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
    std::ofstream(dir.file("manager.ini")) << "[Polling]\r\nSNMP Polling=500\r\nSNMP Timeout=3\r\n";
  }
  // The service with a console connected and greeted.
  void StartService() {
    service = std::make_unique<test::ServiceProcess>(dir.path());
    ASSERT_TRUE(service->start());
    ASSERT_TRUE(service->waitForOutput("running on", 30000)) << service->output();
    console = std::make_unique<test::LinkTestClient>(8900);
    ASSERT_TRUE(console->connected());
    ASSERT_TRUE(console->request(kLinkCmdHello));
  }
  uint8_t code(uint8_t cmd, const V& data) {
    auto r = console->request(cmd, data);
    return r && r->size() > 5 ? (*r)[5] : 0;
  }
  // Adds SNMP nodes 1..n under the root and sets their properties.
  void AddNodes(const std::vector<V>& properties) {
    for (size_t i = 0; i < properties.size(); ++i) {
      ASSERT_EQ(code(kLinkCmdAddNode, Cat({kNodeSnmp}, Id(0))), 25);
    }
    for (const V& p : properties) ASSERT_EQ(code(kLinkCmdSetNodeProperties, p), 27);
  }
  // Command 6: sub 0 the node's image, sub 1 its 888-byte block.
  V data(uint8_t sub, int id) {
    auto r = console->request(kLinkCmdGetDeviceData, Cat({sub}, Cat(Id(id), {0, 0})));
    return r && r->size() > 9 ? V(r->begin() + 9, r->end()) : V{};
  }
  int slot(int id, int s) {
    V b = data(1, id);
    return b.size() != 888 ? -2 : i32At(b, 240 + 4 * static_cast<size_t>(s));
  }
  std::string text(int id, size_t off, size_t size) {
    V b = data(1, id);
    return b.size() != 888 ? "" : strAt(b, off, size);
  }

  test::TempDir dir;
  std::unique_ptr<test::ServiceProcess> service;
  std::unique_ptr<test::LinkTestClient> console;
};

TEST_F(SnmpService, PollsAgentsAddedByAConsoleAndNoticesSilence) {
  const std::string script = dir.file("sim.txt");
  auto writeScript = [&](const std::string& extra) {
    std::ofstream(script) << "agent ups 127.0.0.10:16161 maker\n"
                             "value ups 1.3.6.1.4.1.7321.2.4.3.1.0 i 555\n"
                             "agent ups2 127.0.0.10:16162 maker\n"
                             "value ups2 1.3.6.1.4.1.7321.2.4.3.1.0 i 777\n"
                          << extra;
  };
  writeScript("");
  test::Child sim({test::BuiltProgram("tools/snmp_sim"), script}, dir.file("sim.log"));
  ASSERT_TRUE(sim.waitFor("ready")) << sim.output();

  ASSERT_NO_FATAL_FAILURE(StartService());
  // Two maker UPSs on one address, other ports and UPSIDs.
  ASSERT_NO_FATAL_FAILURE(AddNodes({SnmpProperties(1, "127.0.0.10", 16161, 1, kMibMakerUps),
                                    SnmpProperties(2, "127.0.0.10", 16162, 2, kMibMakerUps)}));
  auto silent = [&](int id) {
    V b = data(1, id);
    return b.size() == 888 && (u64At(b, 16) & snmp_off::kNoResponseBit) != 0;
  };
  EXPECT_TRUE(WaitUntil([&] { return slot(1, 20) == 555 && slot(2, 20) == 777; }))
      << slot(1, 20) << " " << slot(2, 20) << "\n"
      << service->output();

  // The network monitor: on, lines both ways, off.
  auto monitor = [&](uint8_t sub) {
    auto r = console->request(kLinkCmdTrafficMonitor, {sub});
    return r && r->size() > 7 && (*r)[5] == 49 ? (*r)[7] : 0xFF;
  };
  EXPECT_EQ(monitor(2), 1);
  EXPECT_TRUE(WaitUntil([&] {
    std::string m = ReadFile(dir.file("NetworkMonitor0.txt"));
    return m.find(" 127.0.0.10 Tx>: ") != std::string::npos &&
           m.find(" 127.0.0.10 Rx<: 1.3.6.1.4.1.7321.2.4.3.1.0") != std::string::npos;
  }));
  EXPECT_EQ(monitor(3), 0);
  EXPECT_EQ(code(kLinkCmdStopAllAlarms, {0}), 45);

  // The first agent falls silent: the time-out marks it, an answer clears it.
  writeScript("fault ups silence\n");
  sim.signal(SIGHUP);
  ASSERT_TRUE(sim.waitFor("reloaded"));
  EXPECT_TRUE(WaitUntil([&] { return silent(1); }));
  EXPECT_FALSE(silent(2));
  writeScript("");
  sim.signal(SIGHUP);
  EXPECT_TRUE(WaitUntil([&] { return !silent(1); }));
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// A map with one SNMP device more than the network device table holds: the
// refusal is one Event.log line, and the device left out reads as not
// responding over the link, not as an empty healthy block.
TEST_F(SnmpService, DevicesPastTheTableAreReportedAndReadAsNotResponding) {
  const int devices = kSnmpTableCapacity + 1;
  {
    DeviceTree tree;
    DeviceNode* group = nullptr;
    for (int made = 0; made < devices;) {
      if (group == nullptr || group->childCount() >= 250) {
        tree.setCurrentParent(tree.root());
        group = Tree_CreateNode(tree, kNodeGroup, "");
        tree.setCurrentParent(*group);
      }
      ++made;
      std::string ip = "10.0." + std::to_string(made / 250) + "." + std::to_string(made % 250 + 1);
      ASSERT_NE(Tree_CreateNode(tree, kNodeSnmp, ip), nullptr);
    }
    std::ofstream(dir.file("Big.UMF"), std::ios::binary) << BuildMapText(tree.root());
  }
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "Main", "Load File", "Big.UMF"));
  ASSERT_NO_FATAL_FAILURE(StartService());
  // Ids run in creation order: the groups take 1, 252, ...; the last device
  // made is the one refused.
  const int last = devices + (devices + 249) / 250;
  V image = data(0, last);
  ASSERT_EQ(image.size(), kDeviceNodeSize);
  EXPECT_EQ(image[node_off::kNodeKind], kNodeSnmp);
  V block = data(1, last);
  ASSERT_EQ(block.size(), 888u);
  EXPECT_NE(u64At(block, 16) & snmp_off::kNoResponseBit, 0u);
  EXPECT_NE(u64At(block, 8) & snmp_off::kNoResponseBit, 0u);
  const std::string log = ReadFile(dir.file("Big/Event.log"));
  EXPECT_NE(log.find("1 SNMP devices are not monitored: the network device table is full (1000)"),
            std::string::npos)
      << log;
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// Debian's snmpd as the agent: a node of unknown MIB learns the system texts
// and becomes an inverter by its sysObjectID; a maker UPS node on an agent
// with only some maker objects settles on those.
TEST_F(SnmpService, SnmpdIdentifiesItsDevicesThroughTheService) {
  std::string conf =
      "rocommunity public 127.0.0.0/8\n"
      "sysName ups-room\nsysLocation hall 2\nsysContact ops@example\n"
      "sysObjectID 1.3.6.1.4.1.7321.2.20\n"
      "override 1.3.6.1.4.1.7321.2.4.3.1.0 integer 231\n"
      "override 1.3.6.1.4.1.7321.2.4.5.3.0 integer 48\n";
  std::ofstream(dir.file("snmpd.conf")) << conf;
  test::Child snmpd(
      {"/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", dir.file("snmpd.conf"), "udp:127.0.0.9:16161"},
      dir.file("snmpd.log"), {"SNMP_PERSISTENT_DIR=" + dir.file("persist"), "MIBS="});
  ASSERT_TRUE(snmpd.waitFor("NET-SNMP version")) << snmpd.output();
  ASSERT_NO_FATAL_FAILURE(StartService());
  ASSERT_NO_FATAL_FAILURE(AddNodes({SnmpProperties(1, "127.0.0.9", 16161, 3, kMibUnknown),
                                    SnmpProperties(2, "127.0.0.9", 16161, 1, kMibMakerUps)}));
  EXPECT_TRUE(WaitUntil([&] {
    V image = data(0, 1);
    return image.size() == kDeviceNodeSize && image[node_off::kMibType] == kMibInverter;
  })) << service->output()
      << snmpd.output();
  EXPECT_EQ(text(1, snmp_off::kSysName, snmp_off::kSysNameSize), "ups-room");
  EXPECT_EQ(text(1, snmp_off::kSysLocation, snmp_off::kSysLocationSize), "hall 2");
  EXPECT_EQ(text(1, snmp_off::kSysContact, snmp_off::kSysContactSize), "ops@example");
  EXPECT_TRUE(WaitUntil([&] { return slot(2, 20) == 231 && slot(2, 39) == 48; }))
      << slot(2, 20) << " " << slot(2, 39);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// The demo installation: its maker UPS's alarm word goes on and off (for 30
// requests each: the word is one of many objects asked), each change one
// Event.log line; the UPS falls silent, "Communication lost" after the time-out;
// the inverter and the sensor answer throughout.
TEST_F(SnmpService, TheDemoAgentsAlarmsAndSilenceReachTheEventLog) {
  std::filesystem::copy(
      test::SourcePath("data"), dir.path(),
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "Polling", "SNMP Polling", "200"));
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "Polling", "SNMP Timeout", "3"));
  const std::string script = dir.file("sim.txt");
  const std::string agents =
      "agent inverter 127.0.0.3:16161 device\nunit inverter 3\n"
      "agent sensor 127.0.0.4:16161 device\nunit sensor 100\n";
  std::ofstream(script) << "agent ups 127.0.0.2:16161 maker\n"
                           "alarm ups 1.3.6.1.4.1.7321.2.4.9.2.0 30\n"
                        << agents;
  test::Child sim({test::BuiltProgram("tools/snmp_sim"), script}, dir.file("sim.log"));
  ASSERT_TRUE(sim.waitFor("ready")) << sim.output();
  ASSERT_NO_FATAL_FAILURE(StartService());

  // The Event.log lines of a node: its alarm texts in order.
  auto lines = [&](const std::string& id) {
    std::vector<std::string> out;
    std::istringstream in(ReadFile(dir.file("Demo/Event.log")));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(id + "\t", 0) == 0) out.push_back(line.substr(line.rfind('\t') + 1));
    }
    return out;
  };
  ASSERT_TRUE(WaitUntil([&] { return lines("10").size() >= 3; }, 60000))
      << ReadFile(dir.file("Demo/Event.log"));
  std::vector<std::string> ups = lines("10");
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ups[i], i % 2 ? "Back on mains\r" : "On battery\r") << i;
  }

  std::ofstream(script) << "agent ups 127.0.0.2:16161 maker\nfault ups silence\n" << agents;
  sim.signal(SIGHUP);
  ASSERT_TRUE(sim.waitFor("reloaded"));
  EXPECT_TRUE(WaitUntil([&] {
    std::vector<std::string> l = lines("10");
    return std::find(l.begin(), l.end(), "Communication lost\r") != l.end();
  })) << ReadFile(dir.file("Demo/Event.log"));
  EXPECT_EQ(lines("11"), std::vector<std::string>{});
  EXPECT_EQ(lines("12"), std::vector<std::string>{});
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// Command 26 to a maker UPS node: the fan-out's SetRequest reaches the agent,
// which takes the value, and its answer comes back.
TEST_F(SnmpService, UpsCommandReachesTheAgentAsASetRequest) {
  const std::string script = dir.file("sim.txt");
  std::ofstream(script) << "agent ups 127.0.0.10:16161 maker\n"
                           "value ups 1.3.6.1.4.1.7321.2.4.8.1.0 i 0\n";
  test::Child sim({test::BuiltProgram("tools/snmp_sim"), script}, dir.file("sim.log"));
  ASSERT_TRUE(sim.waitFor("ready")) << sim.output();
  ASSERT_NO_FATAL_FAILURE(StartService());
  ASSERT_NO_FATAL_FAILURE(AddNodes({SnmpProperties(1, "127.0.0.10", 16161, 1, kMibMakerUps)}));
  auto r = console->request(kLinkCmdTrafficMonitor, {2});
  ASSERT_TRUE(r && r->size() > 7 && (*r)[7] == 1);

  V control(44, 0);
  putI16(control, 0, 1);
  putI32(control, 8, 1611);  // battery test
  EXPECT_EQ(code(kLinkCmdControlDevice, control), 51);
  EXPECT_TRUE(WaitUntil([&] {
    std::string m = ReadFile(dir.file("NetworkMonitor0.txt"));
    return m.find(" 127.0.0.10 Tx>: 1.3.6.1.4.1.7321.2.4.8.1.0=3") != std::string::npos &&
           m.find(" 127.0.0.10 Rx<: 1.3.6.1.4.1.7321.2.4.8.1.0=3") != std::string::npos;
  })) << ReadFile(dir.file("NetworkMonitor0.txt"));
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

}  // namespace
}  // namespace lark
