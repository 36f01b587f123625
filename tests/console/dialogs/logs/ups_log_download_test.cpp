// The UPS log exchange: start, progress polls until the UPS is read, the
// fetch; ten replies in a row without progress end it.
#include "console/dialogs/logs/ups_log_download.h"

#include <gtest/gtest.h>

#include <vector>

namespace lark {
namespace {

std::vector<uint8_t> Reply(uint32_t form, int32_t progress, uint32_t total) {
  std::vector<uint8_t> f(kUpsLogEntriesReplyOff, 0);
  putU32(f, 7 + 8, form);
  putI32(f, 7 + 12, progress);
  putU32(f, 7 + 16, total);
  return f;
}

using R = UpsLogDownload::Reaction;

struct Poll {
  uint32_t form;
  int32_t progress;
  uint32_t total;
  R::Kind kind;
  int percent;
  uint32_t stepAfter;
};

TEST(UpsLogDownload, ProgressUntilTheLogIsRead) {
  struct Case {
    const char* name;
    int16_t commType;
    std::vector<Poll> polls;
  };
  const Case cases[] = {
      {"three-phase to 24",
       1,
       {{0, 1, 0, R::kAskAgain, 4, 1},
        {0, 12, 0, R::kAskAgain, 50, 1},
        {0, 24, 0, R::kAskAgain, 100, 2}}},
      {"ASCII texts past 23",
       0,
       {{1, 0, 60, R::kAskAgain, -1, 1},
        {1, 23, 60, R::kAskAgain, 100, 1},
        {1, 24, 60, R::kAskAgain, 100, 2}}},
      {"ASCII records past the total",
       0,
       {{2, 26, 60, R::kAskAgain, 43, 1},
        {2, 60, 60, R::kAskAgain, 100, 1},
        {2, 61, 60, R::kAskAgain, 100, 2}}},
      // The service's total is bounded by the entries a reply holds (574).
      {"ASCII records with a total past the reply",
       0,
       {{2, 287, 0xffffffff, R::kAskAgain, 50, 1},
        {2, 574, 0xffffffff, R::kAskAgain, 100, 1},
        {2, 575, 0xffffffff, R::kAskAgain, 100, 2}}},
      {"ASCII not ready yet, then records",
       0,
       {{0xffffffff, 0, 0, R::kAskAgain, -1, 1},
        {2, 5, 10, R::kAskAgain, 50, 1},
        {2, 11, 10, R::kAskAgain, 100, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UpsLogDownload d(c.commType, 13);
    EXPECT_EQ(d.sub(), c.commType == 1 ? 6 : 7);
    EXPECT_EQ(d.request(), UpsLogRequest(0, 13));
    const R start = d.OnReply(Reply(0, 0, 0));
    EXPECT_TRUE(start.started);
    EXPECT_EQ(d.request(), UpsLogRequest(1, 13));
    for (const Poll& p : c.polls) {
      const R r = d.OnReply(Reply(p.form, p.progress, p.total));
      EXPECT_EQ(r.kind, p.kind);
      EXPECT_EQ(r.percent, p.percent);
      EXPECT_EQ(d.step(), p.stepAfter);
    }
    EXPECT_EQ(d.request(), UpsLogRequest(2, 13));
    EXPECT_EQ(d.OnReply(Reply(2, 61, 60)).kind, R::kEntries);
    EXPECT_EQ(d.status().total, 60u);
  }
}

TEST(UpsLogDownload, TenRepliesWithoutProgressEndIt) {
  // Progress that stops, a form that never comes, and frames without a record.
  const std::vector<std::vector<uint8_t>> stalls = {Reply(2, 5, 60), Reply(0xffffffff, 9, 60),
                                                    std::vector<uint8_t>(20, 0)};
  for (const auto& stall : stalls) {
    UpsLogDownload d(0, 13);
    d.OnReply(Reply(0, 0, 0));
    ASSERT_EQ(d.OnReply(Reply(2, 5, 60)).kind, R::kAskAgain);
    for (int i = 1; i < kUpsLogStalls; ++i) ASSERT_EQ(d.OnReply(stall).kind, R::kAskAgain) << i;
    // Progress clears the count...
    ASSERT_EQ(d.OnReply(Reply(2, 6, 60)).kind, R::kAskAgain);
    for (int i = 1; i < kUpsLogStalls; ++i)
      ASSERT_EQ(d.OnReply(Reply(2, 6, 60)).kind, R::kAskAgain) << i;
    // ...and the tenth in a row ends it.
    EXPECT_EQ(d.OnReply(Reply(2, 6, 60)).kind, R::kFailed);
  }
  // The fetch without a record fails.
  UpsLogDownload d(1, 13);
  d.OnReply(Reply(0, 0, 0));
  ASSERT_EQ(d.OnReply(Reply(0, 24, 0)).kind, R::kAskAgain);
  EXPECT_EQ(d.OnReply(std::vector<uint8_t>(26, 0)).kind, R::kFailed);
}

}  // namespace
}  // namespace lark
