// Fuzz target for an SNMP answer applied to a node: the first byte picks
// the node's MibType, the rest is the datagram. A sensor at UPSID 32 sits
// behind the same address, and the next poll request is built from whatever
// the answer left in the masks and the cursor.
#include <cstddef>
#include <cstdint>

#include "core/device_node.h"
#include "devices/snmp/snmp_poller.h"
#include "devices/snmp/snmp_response.h"
#include "platform/clock.h"

using namespace lark;

namespace {

void MakeNode(DeviceNode& node, uint8_t mib, int16_t upsId) {
  node.setNodeKind(kNodeSnmp);
  node.setMibType(mib);
  node.setUpsId(upsId);
  node.setResolvedAddress(0x0900007F);
  node.setCommunity("public");
  AllocateNodeBlocks(node);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const uint8_t kMibs[] = {kMibUnknown, kMibMakerUps, kMibInverter, kMibSensor, kMibRfc1628};
  const uint8_t mib = kMibs[data[0] % sizeof kMibs];
  DeviceNode node, sensor;
  MakeNode(node, mib, static_cast<int16_t>(data[0] >> 3));
  MakeNode(sensor, kMibSensor, 32);
  SnmpDeviceEntry entry, sensorEntry;
  FakeClock clock(0xFFFFF000u);
  SnmpResponseContext ctx;
  ctx.clock = &clock;
  ctx.findPeer = [&](uint32_t, int16_t id) {
    if (id == node.upsId()) return SnmpPeer{&node, &entry};
    if (id == 32) return SnmpPeer{&sensor, &sensorEntry};
    return SnmpPeer{};
  };
  static SnmpCodec dec, req;
  for (int round = 0; round < 2; ++round) {
    if (SnmpDecodeMessage(dec, CBytes(data + 1, size - 1)) == 0) {
      SnmpApplyResponse(ctx, dec, entry, node);
    }
    clock.advance(0x10000);
    SnmpRequest out;
    SnmpPollDevice(req, entry, node, clock.tickMs(), nullptr, &out);
  }
  return 0;
}
