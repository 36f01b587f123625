#include "console/link/link_state.h"

namespace lark {

LinkTransition DecideLinkState(LinkState cur, uint8_t s, uint8_t sub) {
  LinkTransition t;
  t.next = cur;
  const LinkState wanted{s, sub};
  const uint8_t st = cur.state;
  // Shared tail of requests 2, 3 and 4 once acceptance is known.
  auto settle = [&](bool accepted) {
    if (st >= 5) {
      t.reload = true;
      t.next = wanted;
      t.accepted = true;
    } else {
      t.accepted = accepted;
      if (accepted) t.next = wanted;
    }
    return t;
  };
  switch (s) {
    case 0:
      t.accepted = true;
      if (st <= 1) {
        t.next = wanted;
      } else {
        t.closeAll = t.reload = true;  // the state byte stays as it was
      }
      return t;
    case 1:
      t.accepted = true;
      t.next = wanted;
      if (st > 1) t.closeAll = t.reload = true;
      return t;
    case 2: {
      bool accepted = (st < 2 && sub == 0) || (st == 2 && cur.sub < sub);
      if ((st == 2 && cur.sub > sub) || st >= 3) {
        t.closeAll = t.clearUser = true;
        accepted = true;
      }
      if (st == 4 && cur.sub != 0) {
        t.reload = true;
        t.next = wanted;
        t.accepted = true;
        return t;
      }
      return settle(accepted);
    }
    case 3:
      if (st == 4 && cur.sub != 0) {
        t.reload = true;
        t.next = wanted;
        t.accepted = true;
        return t;
      }
      return settle((st == 2 && cur.sub == 2) || st == 3 || st == 5);
    case 4:
      if (st == 4 && cur.sub > sub) {
        t.reload = true;
        t.next = wanted;
        t.accepted = true;
        return t;
      }
      return settle((st == 3 && cur.sub == 2) || (st == 4 && cur.sub < sub));
    case 5:
      t.accepted = (st == 3 && cur.sub == 2) || st == 5;
      if (t.accepted) t.next = wanted;
      return t;
    case 6: {
      bool accepted = false;
      if (st == 4 && cur.sub == 2) {
        t.closeCallBack = true;
        accepted = true;
      }
      if (st == 6 && cur.sub <= sub) accepted = true;
      if ((st == 6 && cur.sub > sub) || st == 7) {
        t.closeCallBack = true;
        accepted = true;
      }
      if (accepted) {
        t.accepted = true;
        t.next = wanted;
        t.callBackWanted = true;
      }
      return t;
    }
    case 7:
      t.accepted = (st == 6 && cur.sub == 2) || st == 7;
      if (t.accepted) t.next = wanted;
      return t;
    default:
      return t;
  }
}

}  // namespace lark
