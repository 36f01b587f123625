#include "linkserver/control_lock.h"

#include <gtest/gtest.h>

#include <vector>

#include "linkserver/command_queue.h"
#include "platform/clock.h"

namespace lark {
namespace {

struct ControlLockTest : ::testing::Test {
  FakeClock clock{5000};
  CommandQueues queues;
  ControlLock lock{clock, queues};
  size_t pushes() const { return const_cast<CommandQueues&>(queues).queue(1).count(); }
};

TEST_F(ControlLockTest, FreeLockAllowsEverything) {
  for (uint32_t kind : {0u, 3u, 8u, 9u, 13u, 18u, 19u, 200u}) {
    EXPECT_TRUE(lock.check("10.0.0.1", 1000, kind)) << kind;
  }
}

TEST_F(ControlLockTest, HeldLockRules) {
  lock.set("10.0.0.1", 1000, true, 13);  // A's tree command in flight
  struct Case {
    const char* address;
    uint16_t port;
    uint32_t kind;
    bool allowed;
  } cases[] = {
      {"10.0.0.1", 1000, 14, true},   // the holder goes on editing
      {"10.0.0.1", 1001, 14, false},  // same host, other port: another console
      {"10.0.0.2", 1000, 14, false},
      {"10.0.0.1", 1000, 8, false},  // map commands wait while a command is in flight
      {"10.0.0.2", 1000, 3, false},
      {"10.0.0.1", 1000, 2, false},  // outside 3..18
      {"10.0.0.1", 1000, 19, false},
      {"10.0.0.1", 1000, 10, false},  // inside 3..18 but neither map nor tree
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lock.check(c.address, c.port, c.kind), c.allowed) << c.address << " " << c.kind;
  }
  lock.set("10.0.0.1", 1000, true, 0);        // idle holder
  EXPECT_TRUE(lock.check("10.0.0.2", 5, 8));  // anyone's map command passes
  EXPECT_TRUE(lock.check("10.0.0.2", 5, 3));
  EXPECT_FALSE(lock.check("10.0.0.2", 5, 13));
  lock.set("10.0.0.2", 5, true, 8);  // a map command in flight blocks the holder's edits
  EXPECT_FALSE(lock.check("10.0.0.1", 1000, 13));
}

TEST_F(ControlLockTest, OnlyAChangeOfTheActiveFlagQueuesAPush) {
  lock.set("10.0.0.1", 1000, true, 13);
  EXPECT_EQ(pushes(), 1u);
  lock.set("10.0.0.1", 1000, true, 0);
  lock.set("10.0.0.9", 9, true, 14);  // already held: holder unchanged, no push
  EXPECT_EQ(pushes(), 1u);
  EXPECT_EQ(lock.holderAddress(), "10.0.0.1");
  EXPECT_EQ(lock.holderPort(), 1000);
  lock.set("10.0.0.2", 2, false, 0);
  EXPECT_EQ(pushes(), 2u);
  auto e = queues.pop(1);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, kCmdCodeControlLock);
  EXPECT_EQ(e->clientSlot, kServiceClientSlot);
  EXPECT_TRUE(e->payload.empty());
}

TEST_F(ControlLockTest, RecordImageIsGolden) {
  clock.setTick(0x01020304);
  lock.set("192.168.100.200", 0x2233, true, 15);
  std::vector<uint8_t> expected(kControlLockSize, 0);
  expected[0] = 1;
  const char* addr = "192.168.100.200";
  for (size_t i = 0; addr[i]; ++i) expected[4 + i] = static_cast<uint8_t>(addr[i]);
  expected[24] = 0x33;
  expected[25] = 0x22;
  expected[28] = 0x04;
  expected[29] = 0x03;
  expected[30] = 0x02;
  expected[31] = 0x01;
  expected[32] = 15;
  auto img = lock.image();
  EXPECT_EQ(std::vector<uint8_t>(img.begin(), img.end()), expected);

  lock.reset();
  auto freed = lock.image();
  EXPECT_EQ(std::vector<uint8_t>(freed.begin(), freed.end()),
            std::vector<uint8_t>(kControlLockSize, 0));
}

}  // namespace
}  // namespace lark
