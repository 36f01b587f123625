// Small helpers of the SNMP tests: an SNMP node with its block, and answers
// built with our own encoder and decoded back, as the poll thread sees them.
#pragma once
#include <arpa/inet.h>

#include <string>
#include <vector>

#include "core/device_node.h"
#include "devices/snmp/snmp_codec.h"
#include "devices/snmp/snmp_objects.h"

namespace lark::test {

// in_addr.s_addr of a dotted address.
inline uint32_t Address(const char* dotted) {
  in_addr a{};
  inet_pton(AF_INET, dotted, &a);
  return a.s_addr;
}

// An SNMP node at 127.0.0.9 with community "public" and its SnmpLiveData.
inline void MakeSnmpNode(DeviceNode& node, uint8_t mib, int16_t upsId = 1) {
  node.setNodeKind(kNodeSnmp);
  node.setMibType(mib);
  node.setUpsId(upsId);
  node.setResolvedAddress(0x0900007F);
  node.setPort(16161);
  node.setCommunity("public");
  AllocateNodeBlocks(node);
}

// One binding of a built answer.
struct Bind {
  OidRef name;
  uint8_t type = kBerNull;
  int32_t integer = 0;
  std::string text;
  std::vector<uint32_t> oid;
};
inline Bind Int(OidRef name, int32_t v) { return {name, kBerInteger, v, {}, {}}; }
inline Bind Text(OidRef name, std::string s) { return {name, kBerOctetString, 0, std::move(s), {}}; }
inline Bind Null(OidRef name) { return {name, kBerNull, 0, {}, {}}; }
inline Bind Oid(OidRef name, std::vector<uint32_t> v) { return {name, kBerOid, 0, {}, std::move(v)}; }

// Encodes an answer and decodes it into `into`; false when either fails.
inline bool BuildAnswer(SnmpCodec& into, const std::vector<Bind>& binds,
                        uint8_t pdu = kPduGetResponse, int32_t errorStatus = 0,
                        int32_t errorIndex = 0) {
  SnmpCodec enc;
  static const std::string community = "public";
  enc.message.community = CBytes(reinterpret_cast<const uint8_t*>(community.data()), community.size());
  enc.message.pdu = pdu;
  enc.message.errorStatus = errorStatus;
  enc.message.errorIndex = errorIndex;
  for (const Bind& b : binds) {
    bool ok = b.type == kBerNull            ? enc.addNull(b.name.span())
              : IsBerIntegerFamily(b.type) ? enc.addInteger(b.name.span(), b.integer, b.type)
              : b.type == kBerOid
                  ? enc.addOid(b.name.span(), b.oid)
                  : enc.addOctets(b.name.span(),
                                  CBytes(reinterpret_cast<const uint8_t*>(b.text.data()), b.text.size()),
                                  b.type);
    if (!ok) return false;
  }
  CBytes bytes;
  return SnmpEncodeMessage(enc, &bytes) == 0 && SnmpDecodeMessage(into, bytes) == 0;
}

// "g.i" of maker UPS names, "u.g.i" of device-MIB names, else the dotted text.
inline std::string ShortName(std::span<const uint32_t> name) {
  std::string s = SnmpOidMonitorText(name);
  s.pop_back();
  for (const char* prefix : {"1.3.6.1.4.1.7321.2.4.", "1.3.6.1.4.1.7321.2.20."}) {
    std::string p = prefix;
    if (s.rfind(p, 0) == 0 && s.size() > p.size() + 2 && s.ends_with(".0")) {
      return s.substr(p.size(), s.size() - p.size() - 2);
    }
  }
  return s;
}

inline std::vector<std::string> Names(const SnmpCodec& decoded) {
  std::vector<std::string> out;
  for (const SnmpVarBind& b : decoded.bindings()) out.push_back(ShortName(b.name));
  return out;
}

}  // namespace lark::test
