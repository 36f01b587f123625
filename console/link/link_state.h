// Where the console's session with the service stands: a state byte and a
// sub-state byte, changed only through LinkStateMachine.
//   0 idle, 1 offline, 2 connecting (0 connect under way, 1 hello queued,
//   2 hello accepted), 3 session start (0 map list due, 1 queued, 2 in),
//   4 configuration loading (0 due, 1 in flight, 2 loaded, 3 failed),
//   5 map list refused, 6 call-back set-up (0 due, 1 queued, 2 accepted),
//   7 running.
#pragma once
#include <cstdint>

namespace lark {

struct LinkState {
  uint8_t state = 0;
  uint8_t sub = 0;
  bool operator==(const LinkState&) const = default;
};

// What a request does: whether it is accepted, the state after it, and the
// side effects the caller carries out (in this order: close the sockets,
// clear the user level and the map-changed flag, close the call-back pair,
// rebuild the empty views).
struct LinkTransition {
  bool accepted = false;
  LinkState next;
  bool closeAll = false;       // every link socket but the search socket
  bool clearUser = false;      // user level 0, map not changed
  bool closeCallBack = false;  // the call-back listener and connection
  bool reload = false;         // ReloadAfterLink
  bool callBackWanted = false;
};

LinkTransition DecideLinkState(LinkState current, uint8_t s, uint8_t sub);

}  // namespace lark
