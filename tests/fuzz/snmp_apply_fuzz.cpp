// Fuzz target for an SNMP answer applied to a node. The first byte picks the
// node's MibType and the mode: raw (the rest is the datagram) or built (the
// rest is read as bindings of known objects with any type and value, encoded
// by us, so the handler's tables are reached). A sensor at UPSID 32 sits
// behind the same address, and the next poll request is built from whatever
// the answers left in the masks and the cursor.
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

// Six octets a binding: object kind, group, item, value type, value (16 bits).
bool BuildAnswer(const uint8_t* data, size_t size, SnmpCodec& dec) {
  static SnmpCodec enc;
  enc.reset();
  enc.message = SnmpMessage{};
  enc.message.pdu = kPduGetResponse;
  if (size > 0 && data[0] < 16) {  // now and then an error answer
    enc.message.errorStatus = data[0] % 6;
    enc.message.errorIndex = data[0] / 6;
  }
  for (size_t at = 1; at + 6 <= size; at += 6) {
    const uint8_t* b = data + at;
    uint32_t g = b[1] % 12, i = b[2] % 32;
    OidRef name = b[0] % 4 == 0   ? SystemOid(b[2] % 8)
                  : b[0] % 4 == 1 ? MakerOid(g, b[2] == 255 ? kMakerIdentItem : i)
                  : b[0] % 4 == 2 ? DeviceOid(b[0] & 4 ? kSensorUnit : b[0] >> 3, g % 8, i % 17)
                                  : OidRef{{1, 3, 6, 1, 4, 1, 311, 1, g, i, 0}, 11};
    int32_t v = static_cast<int16_t>(b[4] << 8 | b[5]) * (b[3] & 0x80 ? 65536 : 1);
    const uint32_t product[] = {1, 3, 6, 1, 4, 1, kMakerEnterprise, 2, b[3] & 1 ? 4u : 20u};
    char text[12] = "2.1c2030010";
    switch (b[3] % 5) {
      case 0: enc.addNull(name.span()); break;
      case 1: enc.addInteger(name.span(), v, b[3] & 8 ? kBerGauge32 : kBerInteger); break;
      case 2: enc.addOctets(name.span(), CBytes(reinterpret_cast<uint8_t*>(text), b[5] % 12)); break;
      case 3: enc.addOid(name.span(), product); break;
      default: enc.addOctets(name.span(), CBytes(b, 4), kBerIpAddress); break;
    }
  }
  CBytes out;
  return SnmpEncodeMessage(enc, &out) == 0 && SnmpDecodeMessage(dec, out) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const uint8_t kMibs[] = {kMibUnknown, kMibMakerUps, kMibInverter, kMibSensor, kMibRfc1628};
  const uint8_t mib = kMibs[data[0] % sizeof kMibs];
  const bool built = data[0] & 0x80;
  DeviceNode node, sensor;
  MakeNode(node, mib, static_cast<int16_t>((data[0] >> 3) & 7));
  MakeNode(sensor, kMibSensor, 32);
  SnmpDeviceEntry entry, sensorEntry;
  FakeClock clock(0xFFFFF000u);
  SnmpResponseContext ctx;
  ctx.clock = &clock;
  ctx.snmpPollingMs = data[0] & 0x40 ? 0 : 1000;
  ctx.findPeer = [&](uint32_t, int16_t id) {
    if (id == node.upsId()) return SnmpPeer{&node, &entry};
    if (id == 32) return SnmpPeer{&sensor, &sensorEntry};
    return SnmpPeer{};
  };
  static SnmpCodec dec, req;
  for (int round = 0; round < 4; ++round) {
    bool ok = built ? BuildAnswer(data + 1, size - 1, dec)
                    : SnmpDecodeMessage(dec, CBytes(data + 1, size - 1)) == 0;
    if (ok) SnmpApplyResponse(ctx, dec, entry, node);
    clock.advance(0x10000 << round);
    SnmpRequest out;
    SnmpPollDevice(req, entry, node, clock.tickMs(), nullptr, &out);
  }
  return 0;
}
