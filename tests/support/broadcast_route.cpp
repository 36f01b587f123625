#include "tests/support/broadcast_route.h"

#include <string>
#include <vector>

#include "tests/support/link_test_client.h"

namespace lark::test {

bool AddLoopbackBroadcastRoute() {
  std::string out;
  for (const char* ip : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip"}) {
    const int rc = RunProgram({ip, "route", "add", "255.255.255.255/32", "dev", "lo", "src", "127.0.0.1"}, out, true);
    if (rc == 0) return true;
    if (rc != -1 && rc != 127) return false;
  }
  return false;
}

}  // namespace lark::test
