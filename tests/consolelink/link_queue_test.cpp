#include "console/link/link_queue.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

std::vector<uint8_t> CommandsOf(LinkQueues& q, uint8_t queue) {
  std::vector<uint8_t> out;
  while (auto e = q.peek(queue)) {
    out.push_back(e->command);
    q.dropHead(queue);
  }
  return out;
}

TEST(LinkQueues, PriorityEntryGoesRightBehindTheHead) {
  struct Case {
    int before;
    std::vector<uint8_t> order;
  } cases[] = {{0, {9}}, {1, {1, 9}}, {3, {1, 9, 2, 3}}};
  for (const Case& c : cases) {
    FakeClock clock;
    LinkQueues q(clock);
    for (int i = 1; i <= c.before; ++i) ASSERT_TRUE(q.put(0, 2, 3, kKindRequest, uint8_t(i), 4500, 0, {}));
    q.markHead(3, kEntryInProgress);
    ASSERT_TRUE(q.put(1, 0, 3, kKindRequest, 9, 4500, 7, {}));
    EXPECT_EQ(CommandsOf(q, 3), c.order) << c.before;
  }
}

TEST(LinkQueues, PriorityInsertAcrossTheWrap) {
  FakeClock clock;
  LinkQueues q(clock);
  for (int i = 0; i < 98; ++i) q.put(0, 2, 3, kKindRequest, 0, 1, 0, {});
  for (int i = 0; i < 98; ++i) q.dropHead(3);  // head and tail now at 98
  for (uint8_t i = 1; i <= 4; ++i) q.put(0, 2, 3, kKindRequest, i, 1, 0, {});  // 98, 99, 0, 1
  ASSERT_TRUE(q.put(1, 0, 3, kKindRequest, 9, 1, 0, {}));
  EXPECT_EQ(CommandsOf(q, 3), (std::vector<uint8_t>{1, 9, 2, 3, 4}));
}

TEST(LinkQueues, Refusals) {
  FakeClock clock;
  LinkQueues q(clock);
  EXPECT_FALSE(q.put(0, 2, 6, kKindRequest, 1, 1, 0, {}));  // no queue 6
  EXPECT_FALSE(q.put(0, 7, 3, kKindRequest, 1, 1, 0, {}));  // no counterpart 7
  EXPECT_FALSE(q.put(1, 2, 3, kKindRequest, 1, 1, 0, {}));  // a priority entry has no counterpart
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(q.put(0, 2, 3, kKindRequest, 1, 1, 0, {}));
  EXPECT_FALSE(q.put(0, 2, 3, kKindRequest, 1, 1, 0, {}));
  EXPECT_EQ(q.count(3), 100);
  EXPECT_FALSE(q.peek(6).has_value());
}

TEST(LinkQueues, EntriesOwnTheirBytesAndPeekCopies) {
  FakeClock clock(500);
  LinkQueues q(clock);
  std::vector<uint8_t> data = {1, 2, 3};
  q.put(0, 2, 3, kKindRequest, 6, 4500, 0, data);
  data[0] = 99;
  auto e = q.peek(3);
  ASSERT_TRUE(e);
  e->data[1] = 77;
  EXPECT_EQ(q.peek(3)->data, (std::vector<uint8_t>{1, 2, 3}));
  clock.advance(100);
  q.markHead(3, kEntryInProgress);
  EXPECT_EQ(q.peek(3)->tick, 600u);
  q.touchHead(3, 9000);
  EXPECT_EQ(q.peek(3)->timeoutMs, 9000u);
}

}  // namespace
}  // namespace lark
