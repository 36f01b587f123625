#include "linkserver/command_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace lark {
namespace {

TEST(CommandQueueTest, RefusesTheFiveHundredAndFirstEntry) {
  CommandQueues q;
  for (size_t i = 0; i < kCommandQueueCapacity; ++i) {
    ASSERT_TRUE(q.push(2, 1, kCmdCodeControlLock));
  }
  EXPECT_FALSE(q.push(2, 1, kCmdCodeControlLock));
  EXPECT_EQ(q.queue(1).count(), kCommandQueueCapacity);
  EXPECT_EQ(q.queue(0).count(), 0u);  // the queues are separate
}

TEST(CommandQueueTest, WrapsAroundAndKeepsOrderAndPayloads) {
  CommandQueue q(1);
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < kCommandQueueCapacity; ++i) {
      uint8_t payload[2] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
      ASSERT_TRUE(q.push(static_cast<uint8_t>(round), 16, payload));
    }
    EXPECT_EQ(q.tail(), 0);
    for (size_t i = 0; i < kCommandQueueCapacity; ++i) {
      auto e = q.pop();
      ASSERT_TRUE(e);
      EXPECT_EQ(e->clientSlot, round);
      EXPECT_EQ(e->queue, 1);
      EXPECT_EQ(e->code, 16);
      EXPECT_EQ(u16At(e->payload, 0), i);
    }
    EXPECT_EQ(q.head(), 0);
    EXPECT_EQ(q.count(), 0u);
    EXPECT_FALSE(q.pop());
  }
}

TEST(CommandQueueTest, ClearDropsExactlyTheQueuedEntries) {
  CommandQueue q(1);
  q.clear();  // empty: nothing to walk
  EXPECT_EQ(q.count(), 0u);

  // Full ring with head == tail in the middle: every entry present, each dropped once.
  for (int i = 0; i < 7; ++i) q.push(2, 17, {});
  for (int i = 0; i < 7; ++i) q.pop();
  std::vector<uint8_t> payload(300, 0xAB);
  for (size_t i = 0; i < kCommandQueueCapacity; ++i) ASSERT_TRUE(q.push(2, 16, payload));
  EXPECT_EQ(q.head(), q.tail());
  q.clear();
  EXPECT_EQ(q.count(), 0u);
  EXPECT_EQ(q.head(), 0);
  EXPECT_EQ(q.tail(), 0);
  EXPECT_FALSE(q.pop());
  EXPECT_TRUE(q.push(2, 17, {}));
}

TEST(CommandQueueTest, RefusesAQueueIndexAboveTwo) {
  CommandQueues q;
  EXPECT_FALSE(q.push(2, 3, kCmdCodeControlLock));
  EXPECT_FALSE(q.pop(3));
}

TEST(CommandQueueTest, PushCopiesThePayload) {
  CommandQueues q;
  std::vector<uint8_t> payload = {1, 2, 3};
  ASSERT_TRUE(q.push(0, 1, 16, payload));
  payload[0] = 9;
  auto e = q.pop(1);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->payload, (std::vector<uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace lark
