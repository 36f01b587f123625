#include "console/link/link_state.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

struct Case {
  uint8_t state, sub, s, reqSub;
  bool accepted;
  uint8_t nextState, nextSub;
  bool closeAll, reload, closeCallBack;
};

// Every request against the states it meets in a session, and the odd ones.
const Case kCases[] = {
    {0, 0, 0, 0, true, 0, 0, false, false, false},
    {3, 1, 0, 0, true, 3, 1, true, true, false},  // closes and rebuilds, state byte kept
    {1, 0, 1, 0, true, 1, 0, false, false, false},
    {5, 0, 1, 0, true, 1, 0, true, true, false},
    {1, 0, 2, 0, true, 2, 0, false, false, false},
    {1, 0, 2, 1, false, 1, 0, false, false, false},
    {2, 0, 2, 1, true, 2, 1, false, false, false},
    {2, 2, 2, 1, true, 2, 1, true, false, false},
    {4, 0, 2, 0, true, 2, 0, true, false, false},
    {4, 1, 2, 0, true, 2, 0, true, true, false},
    {7, 0, 2, 0, true, 2, 0, true, true, false},
    {2, 1, 3, 0, false, 2, 1, false, false, false},
    {2, 2, 3, 0, true, 3, 0, false, false, false},
    {3, 1, 3, 2, true, 3, 2, false, false, false},
    {4, 0, 3, 0, false, 4, 0, false, false, false},
    {4, 2, 3, 0, true, 3, 0, false, true, false},
    {5, 0, 3, 0, true, 3, 0, false, true, false},
    {7, 0, 3, 0, true, 3, 0, false, true, false},
    {3, 2, 4, 0, true, 4, 0, false, false, false},
    {3, 1, 4, 0, false, 3, 1, false, false, false},
    {4, 1, 4, 2, true, 4, 2, false, false, false},
    {4, 2, 4, 1, true, 4, 1, false, true, false},
    {6, 0, 4, 0, true, 4, 0, false, true, false},
    {3, 2, 5, 0, true, 5, 0, false, false, false},
    {3, 1, 5, 0, false, 3, 1, false, false, false},
    {4, 2, 6, 0, true, 6, 0, false, false, true},
    {4, 1, 6, 0, false, 4, 1, false, false, false},
    {6, 1, 6, 2, true, 6, 2, false, false, false},
    {6, 2, 6, 0, true, 6, 0, false, false, true},
    {7, 0, 6, 0, true, 6, 0, false, false, true},
    {6, 2, 7, 0, true, 7, 0, false, false, false},
    {6, 1, 7, 0, false, 6, 1, false, false, false},
    {7, 0, 7, 0, true, 7, 0, false, false, false},
    {7, 0, 8, 0, false, 7, 0, false, false, false},
};

TEST(LinkStateMachine, EveryStateAndRequest) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << int(c.state) << "/" << int(c.sub) << " asks " << int(c.s) << "/"
                                    << int(c.reqSub));
    const LinkTransition t = DecideLinkState({c.state, c.sub}, c.s, c.reqSub);
    EXPECT_EQ(t.accepted, c.accepted);
    EXPECT_EQ(t.next, (LinkState{c.nextState, c.nextSub}));
    EXPECT_EQ(t.closeAll, c.closeAll);
    EXPECT_EQ(t.reload, c.reload);
    EXPECT_EQ(t.closeCallBack, c.closeCallBack);
    EXPECT_EQ(t.callBackWanted, c.s == 6 && c.accepted);
  }
}

TEST(LinkStateMachine, FromStateThreeUpTheUserIsCleared) {
  for (uint8_t st = 0; st <= 7; ++st) EXPECT_EQ(DecideLinkState({st, 0}, 2, 0).clearUser, st >= 3) << int(st);
}

}  // namespace
}  // namespace lark
