#include "devices/snmp/snmp_codec.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace lark {

// ---- building --------------------------------------------------------------

void SnmpCodec::reset() {
  count_ = 0;
  stringsUsed_ = 0;
  oidsUsed_ = 0;
}

std::span<uint32_t> SnmpCodec::takeOids(size_t n) {
  if (n > oids_.size() - oidsUsed_) return {};
  std::span<uint32_t> s(oids_.data() + oidsUsed_, n);
  oidsUsed_ += n;
  return s;
}

// Strings that would bring the pool to its size or more are refused, so one
// octet always stays free.
bool SnmpCodec::takeOctets(size_t n, std::span<uint8_t>* out) {
  if (n >= strings_.size() - stringsUsed_) return false;
  *out = std::span<uint8_t>(strings_.data() + stringsUsed_, n);
  stringsUsed_ += n;
  return true;
}

bool SnmpCodec::add(std::span<const uint32_t> name, SnmpVarBind v) {
  if (count_ >= binds_.size() || name.empty()) return false;
  const size_t oidsBefore = oidsUsed_, stringsBefore = stringsUsed_;
  std::span<uint32_t> n = takeOids(name.size());
  std::span<uint32_t> o = takeOids(v.oid.size());
  std::span<uint8_t> s;
  if (n.size() != name.size() || o.size() != v.oid.size() || !takeOctets(v.octets.size(), &s)) {
    oidsUsed_ = oidsBefore;
    stringsUsed_ = stringsBefore;
    return false;
  }
  std::copy(name.begin(), name.end(), n.begin());
  std::copy(v.oid.begin(), v.oid.end(), o.begin());
  std::copy(v.octets.begin(), v.octets.end(), s.begin());
  v.name = n;
  v.oid = o;
  v.octets = s;
  binds_[count_++] = v;
  return true;
}

bool SnmpCodec::addNull(std::span<const uint32_t> name) { return add(name, SnmpVarBind{}); }

bool SnmpCodec::addInteger(std::span<const uint32_t> name, int32_t value, uint8_t tag) {
  SnmpVarBind v;
  v.type = tag;
  v.integer = value;
  return IsBerIntegerFamily(tag) && add(name, v);
}

bool SnmpCodec::addOctets(std::span<const uint32_t> name, CBytes value, uint8_t tag) {
  SnmpVarBind v;
  v.type = tag;
  v.octets = value;
  return IsBerOctetFamily(tag) && add(name, v);
}

bool SnmpCodec::addOid(std::span<const uint32_t> name, std::span<const uint32_t> value) {
  SnmpVarBind v;
  v.type = kBerOid;
  v.oid = value;
  return !value.empty() && add(name, v);
}

// ---- decoding --------------------------------------------------------------

namespace {

// The next element of `parent` with tag `want` and, unless `mayBeEmpty`, some content.
bool Expect(CBytes parent, size_t& pos, uint8_t want, BerElement* e, bool mayBeEmpty = false) {
  return BerReadElement(parent, pos, e) && e->tag == want && (mayBeEmpty || !e->content.empty());
}

bool ExpectInteger(CBytes parent, size_t& pos, int32_t* value) {
  BerElement e;
  return Expect(parent, pos, kBerInteger, &e) && BerDecodeInteger(e.content, kBerInteger, value);
}

}  // namespace

int SnmpDecodeMessage(SnmpCodec& c, CBytes datagram) {
  c.reset();
  c.message = SnmpMessage{};
  SnmpMessage m;
  size_t pos = 0;
  BerElement top, e;
  if (!Expect(datagram, pos, kBerSequence, &top)) return -1;
  CBytes body = top.content;
  pos = 0;
  if (!ExpectInteger(body, pos, &m.version)) return -1;
  if (!Expect(body, pos, kBerOctetString, &e, true)) return -1;
  std::span<uint8_t> community;
  if (!c.takeOctets(e.content.size(), &community)) return -1;
  std::copy(e.content.begin(), e.content.end(), community.begin());
  m.community = community;

  BerElement pdu;
  if (!BerReadElement(body, pos, &pdu)) return -1;
  m.pdu = pdu.tag;
  if (pdu.tag < kPduGetRequest || pdu.tag > kPduSetRequest) {
    c.message = m;
    return 2;
  }
  if (pdu.content.empty()) return -1;
  CBytes p = pdu.content;
  pos = 0;
  if (!ExpectInteger(p, pos, &m.requestId) || !ExpectInteger(p, pos, &m.errorStatus) ||
      !ExpectInteger(p, pos, &m.errorIndex)) {
    return -1;
  }
  BerElement list;
  if (!Expect(p, pos, kBerSequence, &list)) return -1;

  CBytes l = list.content;
  pos = 0;
  while (pos < l.size()) {
    BerElement bind;
    if (!Expect(l, pos, kBerSequence, &bind)) return -1;
    if (c.count_ >= c.binds_.size()) return -1;
    SnmpVarBind& b = c.binds_[c.count_];
    b = SnmpVarBind{};
    size_t bp = 0;
    BerElement name, value;
    if (!Expect(bind.content, bp, kBerOid, &name)) return -1;
    std::span<uint32_t> room(c.oids_.data() + c.oidsUsed_, c.oids_.size() - c.oidsUsed_);
    size_t arcs = 0;
    if (!BerDecodeOid(name.content, room, &arcs)) return -1;
    b.name = room.first(arcs);
    c.oidsUsed_ += arcs;
    if (!BerReadElement(bind.content, bp, &value)) return -1;
    b.type = value.tag;
    if (IsBerIntegerFamily(value.tag)) {
      if (!BerDecodeInteger(value.content, value.tag, &b.integer)) return -1;
    } else if (IsBerOctetFamily(value.tag)) {
      std::span<uint8_t> s;
      if (!c.takeOctets(value.content.size(), &s)) return -1;
      std::copy(value.content.begin(), value.content.end(), s.begin());
      b.octets = s;
    } else if (value.tag == kBerOid) {
      std::span<uint32_t> r(c.oids_.data() + c.oidsUsed_, c.oids_.size() - c.oidsUsed_);
      size_t n = 0;
      if (!BerDecodeOid(value.content, r, &n)) return -1;
      b.oid = r.first(n);
      c.oidsUsed_ += n;
    } else if (value.tag != kBerNull) {
      return -1;
    }
    ++c.count_;
  }
  c.message = m;
  return 0;
}

// ---- encoding --------------------------------------------------------------

namespace {

// Writes a message backwards from the end of the send buffer; the position
// never falls below 1, so a message is at most size - 1 octets.
struct BackWriter {
  Bytes buf;
  size_t pos;

  bool prepend(CBytes b) {
    if (b.size() >= pos) return false;
    pos -= b.size();
    if (!b.empty()) std::memcpy(buf.data() + pos, b.data(), b.size());
    return true;
  }
  bool header(uint8_t tag, size_t contentLen) {
    uint8_t h[1 + 1 + kBerMaxLengthOctets];
    h[0] = tag;
    size_t n = contentLen > UINT32_MAX ? 0 : BerEncodeLength(Bytes(h + 1, sizeof h - 1), static_cast<uint32_t>(contentLen));
    return n && prepend(CBytes(h, 1 + n));
  }
  bool integer(int32_t v) {
    uint8_t t[8];
    size_t n = BerEncodeInteger(Bytes(t, sizeof t), v, kBerInteger);
    return n && prepend(CBytes(t, n));
  }
};

size_t EncodeValue(Bytes out, const SnmpVarBind& b) {
  if (IsBerIntegerFamily(b.type)) return BerEncodeInteger(out, b.integer, b.type);
  if (IsBerOctetFamily(b.type)) return BerEncodeOctets(out, b.octets, b.type);
  if (b.type == kBerOid) return BerEncodeOid(out, b.oid);
  if (b.type == kBerNull && out.size() >= 2) {
    out[0] = kBerNull;
    out[1] = 0;
    return 2;
  }
  return 0;
}

}  // namespace

int SnmpEncodeMessage(SnmpCodec& c, CBytes* out) {
  BackWriter w{Bytes(c.send_.data(), c.send_.size()), c.send_.size()};
  for (size_t i = c.count_; i-- > 0;) {
    uint8_t scratch[kSnmpBindingScratch];
    size_t n = BerEncodeOid(Bytes(scratch, sizeof scratch), c.binds_[i].name);
    size_t v = n ? EncodeValue(Bytes(scratch + n, sizeof scratch - n), c.binds_[i]) : 0;
    if (!v || !w.prepend(CBytes(scratch, n + v)) || !w.header(kBerSequence, n + v)) return 1;
  }
  const SnmpMessage& m = c.message;
  if (!w.header(kBerSequence, c.send_.size() - w.pos) || !w.integer(m.errorIndex) ||
      !w.integer(m.errorStatus) || !w.integer(m.requestId) ||
      !w.header(m.pdu, c.send_.size() - w.pos) || !w.prepend(m.community) ||
      !w.header(kBerOctetString, m.community.size()) || !w.integer(m.version) ||
      !w.header(kBerSequence, c.send_.size() - w.pos)) {
    return 1;
  }
  *out = CBytes(c.send_.data() + w.pos, c.send_.size() - w.pos);
  return 0;
}

bool ParseOidText(std::string_view text, std::span<uint32_t> arcs, size_t* count) {
  size_t n = 0;
  size_t pos = 0;
  if (!text.empty() && text[0] == '.') pos = 1;  // net-snmp's leading dot
  while (pos < text.size()) {
    if (n >= arcs.size()) return false;
    uint32_t v = 0;
    auto [end, ec] = std::from_chars(text.data() + pos, text.data() + text.size(), v);
    if (ec != std::errc() || end == text.data() + pos) return false;
    arcs[n++] = v;
    pos = static_cast<size_t>(end - text.data());
    if (pos < text.size()) {
      if (text[pos] != '.' || pos + 1 == text.size()) return false;
      ++pos;
    }
  }
  *count = n;
  return n > 0;
}

}  // namespace lark
