// Schedules through the console link of the built Larkcore: a dated row set
// on one device shows as its pending time in the node image (command 6),
// scope 1 copies it to the sibling devices, and the rows and pending times
// are there again after the service restarts on the saved map.
#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/bytes.h"
#include "common/schedule_calc.h"
#include "core/device_node.h"
#include "linkserver/link_frame.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Cat(V a, const V& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
V Id(int v) { return V{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }

class Console {
 public:
  Console() : client_(8900) {}
  bool open() {
    if (!client_.connected()) return false;
    auto hello = client_.request(kLinkCmdHello);
    auto version = client_.request(kLinkCmdVersion, {9, 7});
    return hello && (*hello)[5] == 1 && version && (*version)[5] == 65;
  }
  V req(uint8_t command, const V& data = {}) {
    auto reply = client_.request(command, data);
    return reply ? *reply : V{};
  }
  uint8_t code(uint8_t command, const V& data = {}) {
    V r = req(command, data);
    return r.size() > 5 ? r[5] : 0;
  }
  // The node image of `id` (command 6 sub 0).
  V node(int id) {
    V r = req(kLinkCmdGetDeviceData, Cat({0}, Cat(Id(id), {0, 0})));
    return r.size() == 9 + kDeviceNodeSize ? V(r.begin() + 9, r.end()) : V{};
  }

 private:
  test::LinkTestClient client_;
};

// A ScheduleBlock of scope `scope` for node `id` with one dated row.
V ScheduleRequest(uint32_t scope, int id, const ScheduleMinute& at, uint8_t actionClass) {
  V b(472, 0);
  putU32(b, 0, scope);
  putI16(b, 4, static_cast<int16_t>(id));
  putU32(b, 8, 1);    // dated rows
  putU32(b, 196, 1);  // one
  putI16(b, 200, static_cast<int16_t>(at.year));
  b[202] = static_cast<uint8_t>(at.month);
  b[203] = static_cast<uint8_t>(at.day);
  b[204] = static_cast<uint8_t>(at.hour);
  b[205] = static_cast<uint8_t>(at.minute);
  b[206] = actionClass;
  return Cat({1}, b);
}

V DateRow(const V& node) {
  return V(node.begin() + node_off::kDateSchedule, node.begin() + node_off::kDateSchedule + 8);
}
V Pending(const V& node, int actionClass) {
  const size_t at = node_off::kPendingActions + 8 * static_cast<size_t>(actionClass - 1);
  return V(node.begin() + at, node.begin() + at + 6);
}

class ScheduleSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
  }
  std::unique_ptr<test::ServiceProcess> startService() {
    auto s = std::make_unique<test::ServiceProcess>(dir.path());
    EXPECT_TRUE(s->start());
    EXPECT_TRUE(s->waitForOutput("running on", 30000)) << s->output();
    return s;
  }
  std::unique_ptr<Console> openConsole() {
    std::unique_ptr<Console> c;
    if (test::Eventually([&] { return (c = std::make_unique<Console>())->open(); }, 15000, 100)) return c;
    return nullptr;
  }
  test::TempDir dir;
};

TEST_F(ScheduleSessionTest, PendingTimesCopiesAndARestart) {
  auto service = startService();
  auto console = openConsole();
  ASSERT_TRUE(console) << service->output();
  Console& c = *console;
  // Group 1 with devices 2 and 3 and group 4; saved as the auto-load map.
  ASSERT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeGroup}, Id(0))), 25);
  ASSERT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSerial}, Id(1))), 25);
  ASSERT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSerial}, Id(1))), 25);
  ASSERT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeGroup}, Id(1))), 25);
  V name(256, 0);
  for (size_t i = 0; i < 5; ++i) name[i] = static_cast<uint8_t>("Plant"[i]);
  ASSERT_EQ(c.code(kLinkCmdSaveMap, Cat({1}, name)), 15);
  ASSERT_EQ(c.code(kLinkCmdSetAutoLoadMap, {'P', 'l', 'a', 'n', 't', '.', 'U', 'M', 'F', 0}), 19);

  // A shutdown ten days from now at noon (local time).
  time_t t = time(nullptr) + 10 * 86400;
  struct tm tm {};
  localtime_r(&t, &tm);
  const ScheduleMinute at{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, 12, 0};
  const V pending = {static_cast<uint8_t>(at.year & 0xFF),
                     static_cast<uint8_t>(at.year >> 8),
                     static_cast<uint8_t>(at.month),
                     static_cast<uint8_t>(at.day),
                     12,
                     0};

  EXPECT_EQ(c.code(kLinkCmdSetSchedule, ScheduleRequest(0, 2, at, 1)), 57);
  EXPECT_EQ(Pending(c.node(2), 1), pending);
  EXPECT_EQ(Pending(c.node(3), 1), V(6, 0));
  // Scope 1: the sibling device gets it, the sibling group does not.
  EXPECT_EQ(c.code(kLinkCmdSetSchedule, ScheduleRequest(1, 2, {}, 0)), 57);
  EXPECT_EQ(DateRow(c.node(3)), DateRow(c.node(2)));
  EXPECT_EQ(Pending(c.node(3), 1), pending);
  EXPECT_EQ(Pending(c.node(4), 1), V(6, 0));
  // The root has no siblings to copy to.
  EXPECT_EQ(c.code(kLinkCmdSetSchedule, ScheduleRequest(1, 0, {}, 0)), 58);
  EXPECT_EQ(c.code(kLinkCmdSetSchedule, ScheduleRequest(2, 0, {}, 0)), 58);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();

  service = startService();
  console = openConsole();
  ASSERT_TRUE(console) << service->output();
  for (int id : {2, 3}) {
    const V n = console->node(id);
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(i16At(DateRow(n), 0), at.year) << id;
    EXPECT_EQ(DateRow(n)[6], 1) << id;
    EXPECT_EQ(Pending(n, 1), pending) << id;
  }
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

}  // namespace
}  // namespace lark
