// SNMPv1 messages: the codec context and the message decoder and encoder.
//
//   SEQUENCE { INTEGER version, OCTET STRING community,
//              PDU [A0..A3] { INTEGER request-id, INTEGER error-status,
//                             INTEGER error-index,
//                             SEQUENCE { SEQUENCE { OID name, value } ... } } }
//
// A codec context owns everything one message needs: the message record, the
// 40 bindings, the string and OID pools they point into and the send buffer.
// Nothing is allocated per message. Each user (the poll thread, the SetRequest
// builder, the simulator) keeps its own context, so threads share nothing.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/bytes.h"
#include "devices/snmp/ber.h"

namespace lark {

inline constexpr size_t kSnmpStringPoolSize = 512;   // octets of all strings of one message
inline constexpr size_t kSnmpOidPoolSize = 512;      // sub-identifiers of one message
inline constexpr int kSnmpMaxBindings = 40;          // variable bindings of one message
inline constexpr size_t kSnmpBindingScratch = 128;   // octets of one encoded binding
inline constexpr size_t kSnmpSendBufferSize = 1472;  // one encoded message, at most 1471 used
inline constexpr size_t kSnmpReceiveSize = 1024;     // octets read of one datagram

enum SnmpPduType : uint8_t {
  kPduGetRequest = 0xA0,
  kPduGetNextRequest = 0xA1,
  kPduGetResponse = 0xA2,
  kPduSetRequest = 0xA3,
  kPduTrap = 0xA4,
};

// Error status of a v1 answer.
enum SnmpErrorStatus : int32_t {
  kSnmpNoError = 0,
  kSnmpTooBig = 1,
  kSnmpNoSuchName = 2,
  kSnmpBadValue = 3,
  kSnmpReadOnly = 4,
  kSnmpGenErr = 5,
};

// The header fields of one message.
struct SnmpMessage {
  int32_t version = 0;   // always 0 (SNMPv1) when we encode
  CBytes community;      // decoded: in the string pool; encoded: the caller's text
  uint8_t pdu = kPduGetRequest;
  int32_t requestId = 0;
  int32_t errorStatus = 0;
  int32_t errorIndex = 0;  // 1-based binding of the error, 0 none
};

// One variable binding. `name` and an OID value point into the OID pool,
// octets into the string pool (decoded) or the caller's bytes (to encode).
struct SnmpVarBind {
  std::span<const uint32_t> name;
  uint8_t type = kBerNull;
  int32_t integer = 0;  // INTEGER family
  CBytes octets;        // OCTET STRING, IpAddress
  std::span<const uint32_t> oid;  // OBJECT IDENTIFIER value
};

class SnmpCodec {
 public:
  SnmpCodec() = default;
  SnmpCodec(const SnmpCodec&) = delete;
  SnmpCodec& operator=(const SnmpCodec&) = delete;

  // Empties the bindings and both pools; the header stays.
  void reset();

  // Appends a binding to encode; the name and an OID value are copied into
  // the OID pool, octets into the string pool. False (nothing added) when a
  // pool or the binding array is full.
  bool addNull(std::span<const uint32_t> name);
  bool addInteger(std::span<const uint32_t> name, int32_t value, uint8_t tag = kBerInteger);
  bool addOctets(std::span<const uint32_t> name, CBytes value, uint8_t tag = kBerOctetString);
  bool addOid(std::span<const uint32_t> name, std::span<const uint32_t> value);

  std::span<const SnmpVarBind> bindings() const { return {binds_.data(), count_}; }
  int bindingCount() const { return static_cast<int>(count_); }

  SnmpMessage message;  // header of the message last decoded or to encode

 private:
  friend int SnmpDecodeMessage(SnmpCodec& codec, CBytes datagram);
  friend int SnmpEncodeMessage(SnmpCodec& codec, CBytes* out);

  // Room in the pools: takeOids gives fewer than `n` when full; a string
  // that would bring its pool to 512 octets or more is refused.
  std::span<uint32_t> takeOids(size_t n);
  bool takeOctets(size_t n, std::span<uint8_t>* out);
  // Appends `v` named `name`, its octets and OID copied into the pools;
  // nothing is kept when something does not fit.
  bool add(std::span<const uint32_t> name, SnmpVarBind v);

  std::array<SnmpVarBind, kSnmpMaxBindings> binds_{};  // the first count_ are in use
  size_t count_ = 0;
  std::array<uint8_t, kSnmpStringPoolSize> strings_{};  // octets of the bindings and community
  size_t stringsUsed_ = 0;
  std::array<uint32_t, kSnmpOidPoolSize> oids_{};  // names and OID values
  size_t oidsUsed_ = 0;
  std::array<uint8_t, kSnmpSendBufferSize> send_{};  // written backwards from the end
};

// Decodes one datagram into the codec's header and bindings (the codec is
// reset first): 0 decoded; 2 a PDU type other than A0..A3 (a trap); -1
// malformed: a wrong or missing tag, a length field outside 1 to 4 octets, an
// element that leaves its parent, a bad INTEGER or OID, an unsupported value
// type, a binding outside the list, more than 40 bindings, a full pool.
int SnmpDecodeMessage(SnmpCodec& codec, CBytes datagram);

// Encodes the codec's header and bindings into its send buffer: 0 with `out`
// viewing the message, 1 when it does not fit (a binding over 128 octets or a
// message over 1471).
int SnmpEncodeMessage(SnmpCodec& codec, CBytes* out);

// The arcs of a dotted text ("1.3.6.1.2.1.1.5.0"); false on anything else or
// more than `arcs` can hold.
bool ParseOidText(std::string_view text, std::span<uint32_t> arcs, size_t* count);

}  // namespace lark
