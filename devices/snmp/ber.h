// BER primitives (X.690) for the few types SNMPv1 uses: lengths, INTEGER and
// its unsigned application kin, OCTET STRING, NULL and OBJECT IDENTIFIER.
//
// Decoders read from a span that ends where the element's parent ends and
// refuse (false) anything that would cross it. Encoders write forward into
// a span, check the room before each octet and return the octets written, 0
// when it does not fit.
//
//   length:  0x00..0x7F            one octet
//            0x81 L / 0x82 H L ... 0x84 + 4 octets, big-endian
//   INTEGER: 02 01 7F = 127   02 02 00 80 = 128   02 01 80 = -128
//   OID:     06 05 2B 06 01 04 01 = 1.3.6.1.4.1   (7321 -> B9 19)
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/bytes.h"

namespace lark {

inline constexpr int kBerMaxLengthOctets = 4;  // after the 0x8n lead octet
inline constexpr int kBerMaxSubidOctets = 5;   // base-128 octets of one sub-identifier
inline constexpr size_t kMaxOidArcs = 128;     // sub-identifiers of one identifier

enum BerTag : uint8_t {
  kBerInteger = 0x02,
  kBerOctetString = 0x04,
  kBerNull = 0x05,
  kBerOid = 0x06,
  kBerSequence = 0x30,
  kBerIpAddress = 0x40,
  kBerCounter32 = 0x41,
  kBerGauge32 = 0x42,
  kBerTimeTicks = 0x43,
};

// INTEGER and the three unsigned 32-bit application types.
inline bool IsBerIntegerFamily(uint8_t tag) {
  return tag == kBerInteger || tag == kBerCounter32 || tag == kBerGauge32 || tag == kBerTimeTicks;
}
inline bool IsBerOctetFamily(uint8_t tag) { return tag == kBerOctetString || tag == kBerIpAddress; }

// One element read from a parent: its tag and its content, inside the parent.
struct BerElement {
  uint8_t tag = 0;
  CBytes content;
};

// Reads the tag and length at `pos` of `parent`; the content must lie inside
// the parent. On success `pos` moves past the element.
bool BerReadElement(CBytes parent, size_t& pos, BerElement* out);

// Length field at the start of `in`: 1 to 4 octets after a 0x8n lead, or one
// short-form octet. `fieldOctets` gets the octets the field itself occupies.
bool BerDecodeLength(CBytes in, size_t* fieldOctets, uint32_t* length);
size_t BerEncodeLength(Bytes out, uint32_t length);

// INTEGER contents: 1 to 4 octets, two's complement of their own width. The
// unsigned application types also take 5 octets led by 00 (a value of 2^31 or
// more) and keep its 32 bits. Empty or longer contents are refused.
bool BerDecodeInteger(CBytes content, uint8_t tag, int32_t* value);
// Minimal encoding: signed for INTEGER, unsigned (the 32 bits of `value`)
// for Counter32, Gauge32 and TimeTicks.
size_t BerEncodeInteger(Bytes out, int32_t value, uint8_t tag);

size_t BerEncodeOctets(Bytes out, CBytes value, uint8_t tag);

// OBJECT IDENTIFIER contents into `arcs`: the first sub-identifier splits into
// two arcs as X.690 does (below 40: 0.x, below 80: 1.x-40, else 2.x-80); each
// sub-identifier has at most 5 octets and 32 bits and ends inside the content.
bool BerDecodeOid(CBytes content, std::span<uint32_t> arcs, size_t* count);
// Any u32 arcs; the first two combine into one sub-identifier (one arc alone
// encodes as arc × 40). Refuses (0) an empty identifier, a first arc above 2,
// a second arc of 40 or more under 0 or 1, and no room.
size_t BerEncodeOid(Bytes out, std::span<const uint32_t> arcs);

}  // namespace lark
