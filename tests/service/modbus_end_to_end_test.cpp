// The demo installation with its Modbus line: pymodbus slaves on COM3 behind
// the built Larkcore with the default timings. The Modbus UPS is identified
// (its make text reaches a console), a silenced UPS is logged as lost after
// its fourth time-out round, and logged again when it answers.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "platform/paths.h"
#include "tests/support/link_test_client.h"
#include "tests/support/modbus_peer.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

using test::Eventually;

// The communication lines of node `id` in Event.log, in file order.
std::vector<std::string> LinkEvents(const std::string& log, int id) {
  std::vector<std::string> out;
  std::istringstream in(log);
  const std::string head = std::to_string(id) + "\t";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string text = line.substr(line.rfind('\t') + 1);
    if (line.rfind(head, 0) == 0 && text.rfind("Communication", 0) == 0) out.push_back(text);
  }
  return out;
}

TEST(ModbusEndToEnd, DemoUpsIsIdentifiedLostAndRestored) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  fs::copy(test::SourcePath("data"), dir.path(), fs::copy_options::recursive);
  ASSERT_TRUE(MakeDirs(dir.file("ports")));
  test::ModbusPeer peer;
  ASSERT_TRUE(
      peer.start(dir.file("ports"), "COM3", {"1:ups3", "4:inverter", "5:sensor", "6:meter"}));

  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();

  // Command 6 sub 1 of node 3: its live block carries the make text.
  test::LinkTestClient console(8900);
  ASSERT_TRUE(console.connected());
  EXPECT_TRUE(Eventually(
      [&] {
        auto reply = console.request(6, {1, 0, 3});
        return reply &&
               std::string(reply->begin(), reply->end()).find("Larkpower") != std::string::npos;
      },
      30000))
      << service.output();

  auto events = [&] { return LinkEvents(ReadFile(dir.file("Demo/Event.log")).value_or(""), 3); };
  ASSERT_TRUE(peer.command("silence 1"));
  EXPECT_TRUE(Eventually([&] { return !events().empty(); }, 60000)) << service.output();
  ASSERT_TRUE(peer.command("speak 1"));
  EXPECT_TRUE(Eventually([&] { return events().size() >= 2; }, 60000)) << service.output();
  EXPECT_EQ(events(), (std::vector<std::string>{"Communication lost", "Communication restored"}));
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace lark
