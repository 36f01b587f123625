// Fuzz target for the console's reply dispatcher: a reply of the session's
// own requests taken off the reply queue, or a device-data form and a status
// push applied to the tree. Byte 0 picks the path, byte 1 the node, byte 2
// the form or the push's block code; the rest is the frame or the data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/link/device_data.h"
#include "tests/fuzz/console_link_tree.h"

using namespace lark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  fuzz::NullReactor reactor;
  FakeClock clock(1000);
  DeviceTree tree;
  const std::vector<DeviceNode*> nodes = fuzz::BuildConsoleTree(tree);
  DeviceNode& node = *nodes[data[1] % nodes.size()];
  CBytes rest(data + 3, size - 3);
  switch (data[0] % 3) {
    case 0: {
      LinkShell shell;
      ServiceLink link(reactor, clock, tree, shell, "/nonexistent", [] { return 0; });
      fuzz::RunToState7(link);
      std::vector<uint8_t> frame = {1, 2, 0, 0};
      frame.insert(frame.end(), rest.begin(), rest.end());
      if (frame.size() > 0xFFFF + 4) frame.resize(0xFFFF + 4);
      putBe16(frame, 2, static_cast<uint16_t>(frame.size() - 4));
      link.applyReply(LinkFrameView(frame));
      break;
    }
    case 1:
      ApplyDeviceDataForm(tree.root(), node, data[2] % 6, rest);
      break;
    default:
      ApplyStatusPush(node, data[2] % 12, rest);
      break;
  }
  return 0;
}
