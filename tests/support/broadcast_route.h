// The limited broadcast (255.255.255.255) routed over loopback inside a
// test's private network namespace, so a server search reaches local peers.
#pragma once

namespace lark::test {

// Call after EnterPrivateNetwork; false when the route could not be added.
bool AddLoopbackBroadcastRoute();

}  // namespace lark::test
