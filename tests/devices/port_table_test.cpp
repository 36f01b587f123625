// The port table's slots and the poll threads' pause and stop handshake.
#include "devices/port_table.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "devices/ascii_ups.h"
#include "tests/support/scripted_serial_port.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using test::ScriptedAsciiUps;
using test::ScriptedPortOpener;

void SetUpUps(DeviceNode& n, int16_t id, const char* com, int bus) {
  n.setId(id);
  n.setNodeKind(kNodeSerial);
  n.setCom(com);
  n.setUpsId(static_cast<int16_t>(bus));
  n.setCommType(kCommAscii);
  n.setBaud(9600);
  AllocateNodeBlocks(n);
}

struct Logs {
  std::mutex mu;
  std::vector<std::string> lines;
  SerialLogFn fn() {
    return [this](std::string_view s) {
      std::lock_guard<std::mutex> g(mu);
      lines.emplace_back(s);
    };
  }
};

TEST(PortTable, SlotsBelongToTheirNodes) {
  ScriptedPortOpener opener;
  Logs logs;
  PortTable table(opener, nullptr, logs.fn());
  DeviceNode a, b, bad;
  SetUpUps(a, 1, "COM3", 5);
  SetUpUps(b, 2, "COM3", 5);
  EXPECT_TRUE(table.AttachPortDevice(a, false));
  EXPECT_TRUE(table.IsPortDeviceIdTaken(2, "COM3", 5));
  EXPECT_FALSE(table.IsPortDeviceIdTaken(1, "COM3", 5));
  EXPECT_TRUE(table.AttachPortDevice(b, false));  // replaces a, and says so
  ASSERT_EQ(logs.lines.size(), 1u);
  EXPECT_NE(logs.lines[0].find("replaces device 1"), std::string::npos);
  table.DetachPortDevice(a, false);  // a no longer holds the slot: b stays
  EXPECT_EQ(table.deviceAt(3, 5), &b);
  table.DetachPortDevice(b, false);
  EXPECT_FALSE(table.hasRecord(3));

  for (auto [com, bus] : std::vector<std::pair<const char*, int>>{
           {"COM0", 1}, {"COM256", 1}, {"COMX", 1}, {"LPT1", 1}, {"COM1", -1}, {"COM1", 256}}) {
    SetUpUps(bad, 9, com, 0);
    bad.setUpsId(static_cast<int16_t>(bus));
    EXPECT_FALSE(table.AttachPortDevice(bad, false)) << com << " " << bus;
  }
}

TEST(PortTable, NextPollableSkipsStoppedAndOtherKinds) {
  ScriptedPortOpener opener;
  PortTable table(opener, nullptr, nullptr);
  DeviceNode a, b, c;
  SetUpUps(a, 1, "COM1", 1);
  SetUpUps(b, 2, "COM1", 7);
  SetUpUps(c, 3, "COM1", 200);
  b.setLinkStatus(kLinkStopped);
  c.setCommType(kCommModbusUps);
  for (DeviceNode* n : {&a, &b, &c}) table.AttachPortDevice(*n, false);
  EXPECT_EQ(table.NextPollableDevice(0, 1, 0), 1);  // itself last
  EXPECT_EQ(table.NextPollableDevice(0, 255, 0), 1);
  EXPECT_EQ(table.NextPollableDevice(0, 1, 2), 200);
  EXPECT_EQ(table.NextPollableDevice(0, 1, 1), -1);
  EXPECT_EQ(table.NextPollableDevice(5, 1, 0), -1);
  SerialPollConfig cfg{300, 3000};
  EXPECT_EQ(cfg.timeoutPolls(), 10u);
  EXPECT_EQ((SerialPollConfig{0, 3000}).timeoutPolls(), 3000u);
  EXPECT_EQ((SerialPollConfig{5000, 3000}).timeoutPolls(), 1u);
}

// Waits (bounded) until `done` holds.
template <class F>
bool WaitFor(F done) {
  return test::Eventually(done, 10000);
}

TEST(PollThreads, PauseHoldsEveryThreadAndStopJoinsThem) {
  ScriptedPortOpener opener;
  UpsEventLogBuffer eventLog;
  AsciiUpsEngine engine(eventLog, nullptr);
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{2, 100});
  table.setEngine(kCommAscii, &engine);
  DeviceNode a, b;
  SetUpUps(a, 1, "COM1", 1);
  SetUpUps(b, 2, "COM2", 1);
  table.AttachPortDevice(a, false);
  table.AttachPortDevice(b, false);
  AsciiUpsProfile unit;
  ScriptedAsciiUps sim1(opener.line(1), {unit}, false);
  ScriptedAsciiUps sim2(opener.line(2), {unit}, false);

  table.start();
  ASSERT_TRUE(WaitFor(
      [&] { return opener.line(1)->frameCount() > 5 && opener.line(2)->frameCount() > 5; }));
  for (int round = 0; round < 3; ++round) {
    table.PauseSerialThreads();
    for (auto t : {PortTable::kThreadA, PortTable::kThreadB, PortTable::kThreadC}) {
      EXPECT_EQ(table.threadPhase(t), "paused");
    }
    size_t n1 = opener.line(1)->frameCount(), n2 = opener.line(2)->frameCount();
    // Time for a stray frame: a bound a slow machine can only make pass more easily.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(opener.line(1)->frameCount(), n1);
    EXPECT_EQ(opener.line(2)->frameCount(), n2);
    // Edits while paused are safe; a nested pause keeps the threads held.
    table.AttachPortDevice(a, true);
    EXPECT_EQ(opener.line(1)->frameCount(), n1);
    table.ResumeSerialThreads();
    ASSERT_TRUE(WaitFor([&] { return opener.line(1)->frameCount() > n1 + 2; }));
  }
  table.StopSerialThreads();
  EXPECT_FALSE(table.running());
  size_t n = opener.line(1)->frameCount();
  // Time for a stray frame: a bound a slow machine can only make pass more easily.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(opener.line(1)->frameCount(), n);
  EXPECT_EQ(a.linkStatus(), kLinkIdentified);
}

TEST(PollThreads, StopWhilePausedEnds) {
  ScriptedPortOpener opener;
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{2, 100});
  table.start();
  table.PauseSerialThreads();
  table.StopSerialThreads();
  EXPECT_FALSE(table.running());
}

}  // namespace
}  // namespace lark
