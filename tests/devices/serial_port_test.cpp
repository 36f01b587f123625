// The termios port on a pseudo-terminal and the drain.
#include "devices/serial_port.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "tests/support/scripted_serial_port.h"

namespace lark {
namespace {

TEST(TermiosPort, PseudoTerminalLine) {
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  close(slave);
  std::string error;
  std::set<std::string> notes;
  // 7E1 as the PLC asks; a line that keeps neither falls back, noted once.
  auto port = TermiosSerialPort::open(name, SerialLineParams{9600, true, 7}, 0, &error, &notes);
  ASSERT_TRUE(port) << error;
  EXPECT_FALSE(TermiosSerialPort::open(name, SerialLineParams{}, 0, &error, nullptr))
      << "a second open of a held port";
  EXPECT_FALSE(TermiosSerialPort::open(name, SerialLineParams{1234, false, 8}, 0, &error, nullptr));

  uint8_t buf[300];
  EXPECT_EQ(port->read(Bytes(buf, sizeof buf), 4), 0u);    // nothing there
  EXPECT_EQ(port->read(Bytes(buf, sizeof buf), 256), 0u);  // too many wanted
  ASSERT_EQ(write(master, "~01D003abcXYZ", 13), 13);
  EXPECT_EQ(port->read(Bytes(buf, sizeof buf), 7), 7u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 7), "~01D003");
  EXPECT_EQ(DrainComPort(*port, false), 6u);
  EXPECT_TRUE(port->write(asBytes("~01P003STB")));
  char got[16] = {};
  ASSERT_EQ(read(master, got, sizeof got), 10);
  EXPECT_EQ(std::string(got, 10), "~01P003STB");
  EXPECT_FALSE(port->failed());

  // The other end goes away: the line reports it so the table reopens it.
  close(master);
  port->read(Bytes(buf, sizeof buf), 4);
  EXPECT_TRUE(port->failed());
}

TEST(Drain, StopsOnANoisyLine) {
  auto line = std::make_shared<test::ScriptedLine>();
  test::ScriptedSerialPort port(line);
  line->feed(std::string(5000, 'n'));
  EXPECT_GE(DrainComPort(port, true), kMaxDrainBytes);
  EXPECT_LT(DrainComPort(port, true) + kMaxDrainBytes, 5000u + 10);
  EXPECT_GT(line->pending(), 0u);  // the rest waits for the next step
}

}  // namespace
}  // namespace lark
