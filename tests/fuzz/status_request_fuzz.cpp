// Status requests as a console's view holds them: after a first flag byte,
// the input is the frame the service copies out, answered over a small tree
// into a view-sized buffer. With the flag's low bit set the length field and
// CRC are made right first, so the fields behind them are reached. Every
// answer must be a whole frame whose CRC checks. The same bytes are also read
// as an answer, as a console would.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/status_frame.h"
#include "core/device_tree.h"
#include "linkserver/status_server.h"

namespace {

lark::DeviceTree& Tree() {
  static lark::DeviceTree* tree = [] {
    auto* t = new lark::DeviceTree;
    lark::Tree_ResetRoot(*t);
    lark::DeviceNode* group = lark::Tree_CreateNode(*t, lark::kNodeGroup, "");
    for (int i = 0; i < 40; ++i) {
      t->setCurrentParent(i % 2 && group ? *group : t->root());
      lark::DeviceNode* n = lark::Tree_CreateNode(*t, lark::kNodeSerial, "");
      if (n) n->setCommType(static_cast<int16_t>(i % 8));
    }
    return t;
  }();
  return *tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  static std::vector<uint8_t> out(kSharedViewSize - kStatusViewOffFrame);
  if (size < 1) return 0;
  std::vector<uint8_t> bytes(data + 1, data + size);
  if ((data[0] & 1) && bytes.size() >= kStatusHeadSize + kStatusCrcSize) {
    SealStatusFrame(bytes, bytes.size() - kStatusCrcSize);
  }
  CBytes frame(bytes);
  size_t n = 0;
  const int result = BuildStatusAnswer(Tree(), frame, out, &n);
  if (result == kStatusAnswered) {
    CBytes answer(out.data(), n);
    if (n < 10 || n > out.size() || StatusFrameSize(answer) != n || !StatusFrameCrcOk(answer))
      __builtin_trap();
  } else if (n != 0) {
    __builtin_trap();
  }
  (void)ParseStatusAnswer(frame);
  return 0;
}
