// The serial traffic trace: line merging, the day file, the port filter.
#include "devices/serial_trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "devices/port_table.h"
#include "platform/paths.h"
#include "tests/support/scripted_serial_port.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

WallTime At(int day, int h, int m, int s) {
  WallTime t;
  t.year = 2024;
  t.month = 3;
  t.day = day;
  t.hour = h;
  t.minute = m;
  t.second = s;
  return NormalizeWallTime(t);
}

TEST(SerialTrace, ShortExchangeMatchesTheGoldenText) {
  test::TempDir dir;
  FakeClock clock(0, At(5, 23, 59, 58));
  SerialTrace trace(clock, dir.path());
  trace.start(0, 10);
  auto line1 = std::make_shared<test::ScriptedLine>();
  auto line2 = std::make_shared<test::ScriptedLine>();
  test::ScriptedSerialPort com1(line1), com2(line2);
  com1.attachTrace(&trace, 1, 0);   // ASCII protocol: text
  com2.attachTrace(&trace, 12, 2);  // Modbus: hex
  uint8_t buf[64];

  com1.write(asBytes("~01P003STB"));
  line1->feed("~01D004");
  line1->feed(std::string("12\r\x01", 4));
  com1.read(Bytes(buf, sizeof buf), 7);
  com1.read(Bytes(buf, sizeof buf), 4);  // same port: appended to the Rx line
  com1.write(asBytes("~01P003STI"));
  com1.write(asBytes("~01P003STO"));  // transmit: always a new line
  line2->feed(std::string("\x01\x03\x00", 3));
  com2.read(Bytes(buf, sizeof buf), 3);
  line1->feed("~01A");
  com1.read(Bytes(buf, sizeof buf), 4);  // another port received last: new line

  auto text = ReadFile(dir.file("SerialMonitor-03-05.txt"));
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text,
            "\r\n23:59:58 COM1 Tx>: ~01P003STB"
            "\r\n23:59:58 COM1 Rx<: ~01D00412<0d><01>"
            "\r\n23:59:58 COM1 Tx>: ~01P003STI"
            "\r\n23:59:58 COM1 Tx>: ~01P003STO"
            "\r\n23:59:58 COM12 Rx<: 01 03 00 "
            "\r\n23:59:58 COM1 Rx<: ~01A");

  // Past midnight the next entry opens the next day's file.
  clock.advance(3000);
  com1.write(asBytes("~01P003STP"));
  auto next = ReadFile(dir.file("SerialMonitor-03-06.txt"));
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(*next, "\r\n00:00:01 COM1 Tx>: ~01P003STP");
  EXPECT_EQ(ReadFile(dir.file("SerialMonitor-03-05.txt"))->size(), text->size());
}

TEST(SerialTrace, FilterMinutesAndLongFrames) {
  test::TempDir dir;
  FakeClock clock(0, At(1, 10, 0, 0));
  SerialTrace trace(clock, dir.path());
  trace.start(2, 2);  // COM2 only, two minutes
  trace.traceFrame(1, 0, asBytes("~01A"), TraceDirection::kReceive);
  trace.traceFrame(2, 0, asBytes(std::string(300, '\x7f')), TraceDirection::kTransmit);
  auto text = ReadFile(dir.file("SerialMonitor-03-01.txt"));
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->find("COM1"), std::string::npos);
  // 127 characters of room: 31 whole "<7f>" items.
  EXPECT_EQ(text->size(), std::string("\r\n10:00:00 COM2 Tx>: ").size() + 31 * 4);
  trace.minuteTick();
  EXPECT_TRUE(trace.isOn());
  trace.minuteTick();
  EXPECT_FALSE(trace.isOn());
  EXPECT_EQ(TraceFrameText(1, asBytes("\x10\xff"), 100), "10 FF ");
}

// Poll threads write entries while the loop thread switches the trace off and
// on: every line stays whole and no entry touches a closed file.
TEST(SerialTrace, ThreadsWriteWhileTheTraceIsSwitched) {
  test::TempDir dir;
  FakeClock clock(0, At(5, 10, 0, 0));
  SerialTrace trace(clock, dir.path());
  trace.start(0, 10);
  std::atomic<int> running{2};
  auto frameOf = [](int com) { return "~0" + std::to_string(com) + "P003STB"; };
  std::vector<std::thread> writers;
  for (int com : {1, 2}) {
    writers.emplace_back([&trace, &running, &frameOf, com] {
      std::string frame = frameOf(com);
      for (int i = 0; i < 2000; ++i) {
        trace.traceFrame(com, 0, asBytes(frame), TraceDirection::kTransmit);
      }
      --running;
    });
  }
  // Switch for as long as the writers write, however the threads are timed.
  for (int i = 0; i < 200 || running > 0; ++i) {
    trace.stop();
    trace.start(0, 10);
  }
  for (auto& w : writers) w.join();
  // A frame after the last switch is always there.
  trace.traceFrame(1, 0, asBytes(frameOf(1)), TraceDirection::kTransmit);
  trace.stop();

  auto text = ReadFile(dir.file("SerialMonitor-03-05.txt"));
  ASSERT_TRUE(text.has_value());
  ASSERT_EQ(text->substr(0, 2), "\r\n");
  size_t lines = 0;
  for (size_t pos = 2; pos < text->size();) {
    size_t end = text->find("\r\n", pos);
    if (end == std::string::npos) end = text->size();
    std::string l = text->substr(pos, end - pos);
    EXPECT_TRUE(l == "10:00:00 COM1 Tx>: ~01P003STB" || l == "10:00:00 COM2 Tx>: ~02P003STB") << l;
    ++lines;
    pos = end + 2;
  }
  EXPECT_GT(lines, 0u);
}

}  // namespace
}  // namespace lark
