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
#include "devices/snmp/snmp_live_data.h"
#include "linkserver/link_commands.h"
#include "tests/support/child_process.h"
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
  for (int i = 0; i < ms / 100 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return done();
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(SnmpService, PollsAgentsAddedByAConsoleAndNoticesSilence) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::TempDir dir;
  std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                        std::filesystem::copy_options::recursive);
  std::ofstream(dir.file("manager.ini")) << "[Polling]\r\nSNMP Polling=500\r\nSNMP Timeout=3\r\n";
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

  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  test::LinkTestClient c(8900);
  ASSERT_TRUE(c.connected());
  ASSERT_TRUE(c.request(kLinkCmdHello));
  auto code = [&](uint8_t cmd, const V& data) {
    auto r = c.request(cmd, data);
    return r && r->size() > 5 ? (*r)[5] : 0;
  };
  // Two maker UPSs on one address, other ports and UPSIDs.
  for (int i = 0; i < 2; ++i) ASSERT_EQ(code(kLinkCmdAddNode, Cat({kNodeSnmp}, Id(0))), 25);
  ASSERT_EQ(code(kLinkCmdSetNodeProperties, SnmpProperties(1, "127.0.0.10", 16161, 1, kMibMakerUps)), 27);
  ASSERT_EQ(code(kLinkCmdSetNodeProperties, SnmpProperties(2, "127.0.0.10", 16162, 2, kMibMakerUps)), 27);

  auto block = [&](int id) {
    auto r = c.request(kLinkCmdGetDeviceData, Cat({1}, Cat(Id(id), {0, 0})));
    return r && r->size() == 9 + 888 ? V(r->begin() + 9, r->end()) : V{};
  };
  auto slot = [&](int id, int s) {
    V b = block(id);
    return b.empty() ? -2 : i32At(b, 240 + 4 * static_cast<size_t>(s));
  };
  auto silent = [&](int id) {
    V b = block(id);
    return !b.empty() && (u64At(b, 16) & snmp_off::kNoResponseBit) != 0;
  };
  EXPECT_TRUE(WaitUntil([&] { return slot(1, 20) == 555 && slot(2, 20) == 777; }))
      << slot(1, 20) << " " << slot(2, 20) << "\n" << service.output();

  // The network monitor: on, lines both ways, off.
  auto monitor = [&](uint8_t sub) {
    auto r = c.request(kLinkCmdTrafficMonitor, {sub});
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
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
}

}  // namespace
}  // namespace lark
