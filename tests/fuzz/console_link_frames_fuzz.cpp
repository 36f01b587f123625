// Fuzz target for the console's frame readers: the main link's replies, the
// call-back connection's pushes and the server search's datagrams. Byte 0
// picks the reader, byte 1 the chunk size the bytes arrive in, byte 2 the
// request waiting at the head of the request queue; the replies that reach
// the reply queue are then applied to the tree.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "console/link/request_frame.h"
#include "tests/fuzz/console_link_tree.h"

using namespace lark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  fuzz::NullReactor reactor;
  FakeClock clock(1000);
  DeviceTree tree;
  fuzz::BuildConsoleTree(tree);
  LinkShell shell;
  ServiceLink link(reactor, clock, tree, shell, "/nonexistent", [] { return 100; });
  fuzz::RunToState7(link);
  const uint8_t reader = data[0] % 3;
  const size_t chunk = data[1] % 64 + 1;
  const uint8_t command = static_cast<uint8_t>(data[2] % 34 + 1);
  const bool dialog = data[2] & 0x80;
  CBytes rest(data + 3, size - 3);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(0x0A000001 + (data[1] & 7));
  for (size_t at = 0; at < rest.size(); at += chunk) {
    const CBytes piece = rest.subspan(at, std::min(chunk, rest.size() - at));
    if (reader == 0) {
      if (link.queues().count(kRequestQueue) == 0) {
        if (dialog) {
          link.sendServiceRequest(0, command, 0, 4500, {});
        } else {
          link.queues().put(0, kReplyQueue, kRequestQueue, kKindRequest, command, 4500, 0,
                            BuildRequestFrame(command, 0, {}));
        }
        link.queues().markHead(kRequestQueue, kEntryInProgress);
      }
      link.receiveLinkAnswers(piece);
    } else if (reader == 1) {
      link.receiveServerFrames(piece);
    } else {
      link.receiveDiscoverAnswer(piece, from);
    }
  }
  for (int i = 0; i < 30 && link.queues().count(kReplyQueue) > 0; ++i) link.pump(kReplyQueue);
  reactor.runPosted();
  return 0;
}
