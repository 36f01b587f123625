#include "devices/snmp/ber.h"

namespace lark {

namespace {

// Octets of `v` in base 128.
size_t SubidOctets(uint64_t v) {
  size_t n = 1;
  while (v >= 128) {
    v >>= 7;
    ++n;
  }
  return n;
}

// Writes `v` in base 128, bit 7 on every octet but the last; `out` has room.
void PutSubid(Bytes out, size_t& pos, uint64_t v) {
  size_t n = SubidOctets(v);
  for (size_t i = n; i-- > 0;) {
    uint8_t o = static_cast<uint8_t>((v >> (7 * i)) & 0x7F);
    out[pos++] = i ? static_cast<uint8_t>(o | 0x80) : o;
  }
}

// Tag, length field and `contentLen`: the total, or 0 when it exceeds `room`.
size_t HeaderAndContent(Bytes out, uint8_t tag, size_t contentLen, size_t* pos) {
  if (out.empty() || contentLen > UINT32_MAX) return 0;
  out[0] = tag;
  size_t lenOctets = BerEncodeLength(out.subspan(1), static_cast<uint32_t>(contentLen));
  if (lenOctets == 0 || out.size() - 1 - lenOctets < contentLen) return 0;
  *pos = 1 + lenOctets;
  return 1 + lenOctets + contentLen;
}

}  // namespace

bool BerDecodeLength(CBytes in, size_t* fieldOctets, uint32_t* length) {
  if (in.empty()) return false;
  uint8_t lead = in[0];
  if (!(lead & 0x80)) {
    *fieldOctets = 1;
    *length = lead;
    return true;
  }
  size_t n = lead & 0x7F;
  // 0x80 is the indefinite form, which SNMP never uses.
  if (n == 0 || n > kBerMaxLengthOctets || in.size() < 1 + n) return false;
  uint32_t len = 0;
  for (size_t i = 1; i <= n; ++i) len = (len << 8) | in[i];
  *fieldOctets = 1 + n;
  *length = len;
  return true;
}

size_t BerEncodeLength(Bytes out, uint32_t length) {
  size_t n = length < 128 ? 0 : length <= 0xFF ? 1 : length <= 0xFFFF ? 2 : length <= 0xFFFFFF ? 3 : 4;
  if (out.size() < 1 + n) return 0;
  if (n == 0) {
    out[0] = static_cast<uint8_t>(length);
    return 1;
  }
  out[0] = static_cast<uint8_t>(0x80 | n);
  for (size_t i = 0; i < n; ++i) out[1 + i] = static_cast<uint8_t>(length >> (8 * (n - 1 - i)));
  return 1 + n;
}

bool BerReadElement(CBytes parent, size_t& pos, BerElement* out) {
  if (pos >= parent.size()) return false;
  size_t fieldOctets = 0;
  uint32_t len = 0;
  if (!BerDecodeLength(parent.subspan(pos + 1), &fieldOctets, &len)) return false;
  size_t start = pos + 1 + fieldOctets;
  if (len > parent.size() - start) return false;
  out->tag = parent[pos];
  out->content = parent.subspan(start, len);
  pos = start + len;
  return true;
}

bool BerDecodeInteger(CBytes content, uint8_t tag, int32_t* value) {
  size_t n = content.size();
  if (n == 0) return false;
  if (n == 5 && tag != kBerInteger && content[0] == 0) {
    content = content.subspan(1);
    n = 4;
  }
  if (n > 4) return false;
  uint32_t v = (content[0] & 0x80) ? UINT32_MAX : 0;  // sign fill
  for (uint8_t o : content) v = (v << 8) | o;
  *value = static_cast<int32_t>(v);
  return true;
}

size_t BerEncodeInteger(Bytes out, int32_t value, uint8_t tag) {
  uint8_t octets[5];
  size_t n = 0;
  if (tag == kBerInteger) {
    int64_t v = value;
    n = (v >= -128 && v <= 127)         ? 1
        : (v >= -32768 && v <= 32767)   ? 2
        : (v >= -0x800000 && v <= 0x7FFFFF) ? 3
                                        : 4;
    for (size_t i = 0; i < n; ++i) octets[i] = static_cast<uint8_t>(v >> (8 * (n - 1 - i)));
  } else {
    uint64_t v = static_cast<uint32_t>(value);
    // The unsigned types need a leading zero when the top bit would read as a sign.
    n = v < 0x80 ? 1 : v < 0x8000 ? 2 : v < 0x800000 ? 3 : v < 0x80000000u ? 4 : 5;
    for (size_t i = 0; i < n; ++i) octets[i] = static_cast<uint8_t>(v >> (8 * (n - 1 - i)));
  }
  return BerEncodeOctets(out, CBytes(octets, n), tag);
}

size_t BerEncodeOctets(Bytes out, CBytes value, uint8_t tag) {
  size_t pos = 0;
  size_t total = HeaderAndContent(out, tag, value.size(), &pos);
  if (total == 0) return 0;
  for (uint8_t o : value) out[pos++] = o;
  return total;
}

bool BerDecodeOid(CBytes content, std::span<uint32_t> arcs, size_t* count) {
  if (content.empty() || arcs.size() < 2) return false;
  size_t n = 0;
  size_t pos = 0;
  bool first = true;
  while (pos < content.size()) {
    uint64_t v = 0;
    size_t octets = 0;
    for (;;) {
      if (pos >= content.size() || octets == kBerMaxSubidOctets) return false;
      uint8_t o = content[pos++];
      // A leading 0x80 pads a sub-identifier, which X.690 forbids.
      if (octets == 0 && o == 0x80) return false;
      v = (v << 7) | (o & 0x7F);
      ++octets;
      if (!(o & 0x80)) break;
    }
    if (v > UINT32_MAX) return false;
    if (first) {
      uint32_t top = v < 40 ? 0 : v < 80 ? 1 : 2;
      arcs[0] = top;
      arcs[1] = static_cast<uint32_t>(v - 40 * top);
      n = 2;
      first = false;
      continue;
    }
    if (n >= arcs.size()) return false;
    arcs[n++] = static_cast<uint32_t>(v);
  }
  *count = n;
  return true;
}

size_t BerEncodeOid(Bytes out, std::span<const uint32_t> arcs) {
  if (arcs.empty() || arcs[0] > 2) return 0;
  uint64_t head = uint64_t{arcs[0]} * 40;
  if (arcs.size() > 1) {
    if (arcs[0] < 2 && arcs[1] >= 40) return 0;
    head += arcs[1];
    if (head > UINT32_MAX) return 0;
  }
  size_t contentLen = SubidOctets(head);
  for (size_t i = 2; i < arcs.size(); ++i) contentLen += SubidOctets(arcs[i]);
  size_t pos = 0;
  size_t total = HeaderAndContent(out, kBerOid, contentLen, &pos);
  if (total == 0) return 0;
  PutSubid(out, pos, head);
  for (size_t i = 2; i < arcs.size(); ++i) PutSubid(out, pos, arcs[i]);
  return total;
}

}  // namespace lark
