// Console link frames as they arrive on a session: the input is cut into
// frames the way the server's receive pump does (length field + 4, length 0
// dropped, a truncated tail left over) and each frame goes through the
// dispatcher from a console slot or the overflow session, with the control
// lock held by another console half of the time. The same bytes are also
// read as a discovery datagram and through a bounded view.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "linkserver/link_commands.h"
#include "linkserver/link_frame.h"
#include "platform/clock.h"

namespace {

class NullHost final : public lark::LinkSessionHost {
 public:
  bool openCallBack(int, uint16_t port) override { return port % 2 == 0; }
  bool anyConsoleBelowVersion(uint16_t) const override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size < 1) return 0;
  FakeClock clock(1);
  CommandQueues queues;
  ControlLock lock(clock, queues);
  NullHost host;
  LinkServices services(lock);
  services.host = &host;
  if (data[0] & 1) lock.set("10.0.0.9", 9, true, data[0] >> 4);
  const int slot = (data[0] & 2) ? kOverflowSlot : (data[0] >> 2) % kLinkSlotCount;
  uint16_t version = 0;
  static std::vector<uint8_t> out(kLinkBufferSize);

  CBytes rest(data + 1, size - 1);
  while (true) {
    auto total = LinkFrameSize(rest);
    if (!total || rest.size() < *total) break;  // waits for more bytes
    if (*total > kLinkHeaderSize) {
      LinkRequest request(rest.first(*total), slot, LinkPeer{0x7F000001, 4000}, version, services);
      LinkFrameBuilder reply(out);
      size_t n = DispatchLinkRequest(request, reply);
      // A reply is a whole frame whose length field matches its size.
      if (n != 0 && (n < 6 || LinkFrameSize(CBytes(out.data(), n)) != n)) __builtin_trap();
    }
    rest = rest.subspan(*total);
  }

  // The truncated tail, as a view: every accessor stays inside it.
  LinkFrameView tail(rest.size() >= kLinkHeaderSize ? rest : CBytes{});
  for (size_t off = 0; off < tail.size() + 4; ++off) {
    (void)tail.be16(off);
    (void)tail.le32(off);
    (void)tail.slice(off, 3);
    (void)tail.tail(off);
  }
  while (queues.pop(1)) {
  }
  return 0;
}
