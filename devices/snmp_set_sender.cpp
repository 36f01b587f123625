#include "devices/snmp_set_sender.h"

#include <string>

namespace lark {

bool SnmpTableSetSender::sendSet(const DeviceNode& node, int group, int item,
                                 std::string_view value, std::string_view objectName) {
  if (table_.FindSnmpDevice(node.id()) < 0) return false;
  SnmpRequest request;
  // The request id given here is replaced by one of the table's.
  if (SnmpBuildSet(codec_, node, group, item, value, objectName, 0, table_.trafficFor(node),
                   &request) != SnmpBuild::kReady) {
    return false;
  }
  const std::string community = node.community();
  return table_.sendSet(node.id(), codec_, community, request);
}

std::vector<int16_t> SnmpTableSetSender::deviceIds() const {
  std::vector<int16_t> ids;
  for (int32_t id : table_.nodeIds()) ids.push_back(static_cast<int16_t>(id));
  return ids;
}

}  // namespace lark
