#include "console/link/request_frame.h"

#include "linkserver/link_frame.h"

namespace lark {

std::vector<uint8_t> BuildRequestFrame(uint8_t command, uint8_t sub, CBytes data) {
  if (command < kLinkFirstCommand || command > kLinkLastCommand) return {};
  std::vector<uint8_t> out(kLinkOffCode + 1 + data.size());
  LinkFrameBuilder b(out);
  b.begin(kLinkKindRequest, command);
  switch (command) {
    case 1: case 2: case 23:
      break;
    case 3: case 7: case 9: case 10: case 15: case 16: case 17: case 26: case 32: case 33: case 34:
      b.putBytes(data);
      break;
    default:
      b.putU8(sub);
      b.putBytes(data);
  }
  const size_t n = b.finish();
  out.resize(n);
  return out;
}

std::vector<uint8_t> BuildDiscoverFrame(uint8_t command) {
  if (command != 1) return {};
  return std::vector<uint8_t>(std::begin(kDiscoverRequest), std::end(kDiscoverRequest));
}

}  // namespace lark
