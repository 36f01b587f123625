// Fuzz target for the replies the PLC and Alarm Mask dialogs read: a PLC
// table or four mask words from a reply frame into a node, then the rows the
// dialog shows of it. The input is the whole reply frame.
#include <cstddef>
#include <cstdint>

#include "console/dialogs/map_edit/node_properties.h"
#include "linkserver/link_replies.h"

using namespace lark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CBytes frame(data, size);
  DeviceTree tree;
  DeviceNode* plc = Tree_CreateNode(tree, kNodeSerial, "0.0.0.0");
  if (!plc) return 0;
  if (const auto record = PlcRecordOfReply(frame)) {
    ReadPlcSettings(*plc, *record);
    const std::vector<PlcUpsChoice> choices = PlcUpsChoices(tree, nullptr, nullptr);
    for (int i = 0; i < kPlcPointCount; ++i) (void)PlcRowText(*plc, i, choices);
  }
  if (const auto mask = MaskOfReply(frame)) SetNodeMaskWords(*plc, *mask);
  return 0;
}
