// BER primitives and SNMPv1 messages: golden bytes, round trips and a table
// of bad input that must be refused without reading out of bounds.
#include "devices/snmp/snmp_codec.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "devices/snmp/ber.h"
#include "devices/snmp/snmp_objects.h"

namespace lark {
namespace {

using Octets = std::vector<uint8_t>;

// A TLV with a short or long length form, for hand-made messages.
Octets Tlv(uint8_t tag, const Octets& content) {
  Octets out{tag};
  uint8_t len[5];
  size_t n = BerEncodeLength(Bytes(len, sizeof len), static_cast<uint32_t>(content.size()));
  out.insert(out.end(), len, len + n);
  out.insert(out.end(), content.begin(), content.end());
  return out;
}
Octets Cat(std::initializer_list<Octets> parts) {
  Octets out;
  for (const Octets& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Octets Str(const std::string& s) { return Octets(s.begin(), s.end()); }

const Octets kSysNameOid = {0x2B, 6, 1, 2, 1, 1, 5, 0};

Octets Binding(const Octets& oidContent, const Octets& value) {
  return Tlv(0x30, Cat({Tlv(0x06, oidContent), value}));
}
Octets Message(uint8_t pdu, const Octets& bindings, int32_t errStatus = 0, int32_t errIndex = 0) {
  return Tlv(0x30, Cat({Tlv(0x02, {0}), Tlv(0x04, Str("public")),
                        Tlv(pdu, Cat({Tlv(0x02, {5}), Tlv(0x02, {uint8_t(errStatus)}),
                                      Tlv(0x02, {uint8_t(errIndex)}), Tlv(0x30, bindings)}))}));
}

TEST(Ber, GoldenLengthsAndIntegers) {
  struct LenCase {
    uint32_t len;
    Octets want;
  };
  for (const LenCase& c : std::vector<LenCase>{{0, {0x00}},
                                               {127, {0x7F}},
                                               {128, {0x81, 0x80}},
                                               {256, {0x82, 0x01, 0x00}},
                                               {0x10000, {0x83, 1, 0, 0}},
                                               {0xFFFFFFFF, {0x84, 0xFF, 0xFF, 0xFF, 0xFF}}}) {
    uint8_t buf[8];
    size_t n = BerEncodeLength(Bytes(buf, sizeof buf), c.len);
    EXPECT_EQ(Octets(buf, buf + n), c.want) << c.len;
    size_t field = 0;
    uint32_t back = 0;
    ASSERT_TRUE(BerDecodeLength(CBytes(c.want), &field, &back));
    EXPECT_EQ(back, c.len);
    EXPECT_EQ(field, c.want.size());
  }
  struct IntCase {
    int32_t v;
    uint8_t tag;
    Octets want;
  };
  for (const IntCase& c : std::vector<IntCase>{
           {127, kBerInteger, {0x02, 0x01, 0x7F}},
           {128, kBerInteger, {0x02, 0x02, 0x00, 0x80}},
           {-128, kBerInteger, {0x02, 0x01, 0x80}},
           {-129, kBerInteger, {0x02, 0x02, 0xFF, 0x7F}},
           {32768, kBerInteger, {0x02, 0x03, 0x00, 0x80, 0x00}},
           {INT32_MIN, kBerInteger, {0x02, 0x04, 0x80, 0, 0, 0}},
           {-1, kBerGauge32, {0x42, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
           {200, kBerTimeTicks, {0x43, 0x02, 0x00, 0xC8}}}) {
    uint8_t buf[8];
    size_t n = BerEncodeInteger(Bytes(buf, sizeof buf), c.v, c.tag);
    EXPECT_EQ(Octets(buf, buf + n), c.want) << c.v;
    int32_t back = 0;
    ASSERT_TRUE(BerDecodeInteger(CBytes(c.want).subspan(2), c.tag, &back));
    EXPECT_EQ(back, c.v);
  }
  // A Gauge32 sent as four octets FF keeps its 32 bits too.
  int32_t v = 0;
  const Octets ff4 = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_TRUE(BerDecodeInteger(CBytes(ff4), kBerGauge32, &v));
  EXPECT_EQ(v, -1);
}

TEST(Ber, ObjectIdentifiers) {
  struct Case {
    Octets content;
    std::vector<uint32_t> arcs;
  };
  for (const Case& c : std::vector<Case>{
           {{0x2B, 0x06, 0x01, 0x04, 0x01}, {1, 3, 6, 1, 4, 1}},
           {{0x2B, 0x06, 0x01, 0x04, 0x01, 0xB9, 0x19}, {1, 3, 6, 1, 4, 1, 7321}},
           {{0x00}, {0, 0}},
           {{0x27}, {0, 39}},
           {{0x50}, {2, 0}},
           {{0x88, 0x37}, {2, 999}},
           {{0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, {1, 3, 4294967295u}},
           {{0x2B, 0x81, 0x80, 0x80, 0x00}, {1, 3, 2097152}}}) {
    uint32_t arcs[16];
    size_t n = 0;
    ASSERT_TRUE(BerDecodeOid(CBytes(c.content), arcs, &n));
    EXPECT_EQ(std::vector<uint32_t>(arcs, arcs + n), c.arcs);
    uint8_t buf[32];
    size_t w = BerEncodeOid(Bytes(buf, sizeof buf), c.arcs);
    EXPECT_EQ(Octets(buf + 2, buf + w), c.content);
  }
  // Refused: empty, a sub-identifier that runs off the end, six octets,
  // over 32 bits, a padded sub-identifier, and no room to write.
  for (const Octets& bad : std::vector<Octets>{{},
                                               {0x2B, 0x86},
                                               {0x2B, 0x81, 0x81, 0x81, 0x81, 0x81, 0x01},
                                               {0x2B, 0x90, 0x80, 0x80, 0x80, 0x00},
                                               {0x2B, 0x80, 0x01}}) {
    uint32_t arcs[16];
    size_t n = 0;
    EXPECT_FALSE(BerDecodeOid(CBytes(bad), arcs, &n)) << bad.size();
  }
  const uint32_t oid[] = {1, 3, 6, 1, 4, 1, 7321};
  uint8_t small[8];
  EXPECT_EQ(BerEncodeOid(Bytes(small, sizeof small), oid), 0u);
  const uint32_t bad[] = {1, 40};
  uint8_t buf[8];
  EXPECT_EQ(BerEncodeOid(Bytes(buf, sizeof buf), bad), 0u);
}

TEST(SnmpMessage, GetRequestGoldenBytesAndRoundTrip) {
  SnmpCodec codec;
  const std::string community = "public";
  codec.message.community = CBytes(reinterpret_cast<const uint8_t*>(community.data()), 6);
  codec.message.requestId = 5;
  OidRef name = SystemOid(kItemSysName);
  ASSERT_TRUE(codec.addNull(name.span()));
  CBytes out;
  ASSERT_EQ(SnmpEncodeMessage(codec, &out), 0);
  const Octets want = {0x30, 0x26, 0x02, 0x01, 0x00, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i', 'c', 0xA0,
                       0x19, 0x02, 0x01, 0x05, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30, 0x0C,
                       0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x05, 0x00};
  EXPECT_EQ(Octets(out.begin(), out.end()), want);

  // Every value type survives encode and decode.
  SnmpCodec enc, dec;
  enc.message.pdu = kPduGetResponse;
  enc.message.requestId = 77;
  const uint32_t value[] = {1, 3, 6, 1, 4, 1, 7321, 2, 4};
  const Octets text = Str("UPS \x01 one");
  const Octets ip = {127, 0, 0, 9};
  ASSERT_TRUE(enc.addInteger(MakerOid(3, 1).span(), -5));
  ASSERT_TRUE(enc.addInteger(MakerOid(3, 2).span(), -1, kBerGauge32));
  ASSERT_TRUE(enc.addInteger(MakerOid(3, 3).span(), 123456, kBerTimeTicks));
  ASSERT_TRUE(enc.addOctets(SystemOid(kItemSysName).span(), text));
  ASSERT_TRUE(enc.addOctets(SystemOid(3).span(), ip, kBerIpAddress));
  ASSERT_TRUE(enc.addOid(SystemOid(kItemSysObjectId).span(), value));
  ASSERT_TRUE(enc.addNull(SystemOid(kItemSysContact).span()));
  ASSERT_EQ(SnmpEncodeMessage(enc, &out), 0);
  ASSERT_EQ(SnmpDecodeMessage(dec, out), 0);
  EXPECT_EQ(dec.message.pdu, kPduGetResponse);
  EXPECT_EQ(dec.message.requestId, 77);
  ASSERT_EQ(dec.bindingCount(), 7);
  auto b = dec.bindings();
  EXPECT_EQ(b[0].integer, -5);
  EXPECT_EQ(b[1].type, kBerGauge32);
  EXPECT_EQ(static_cast<uint32_t>(b[1].integer), 0xFFFFFFFFu);
  EXPECT_EQ(b[2].integer, 123456);
  EXPECT_EQ(Octets(b[3].octets.begin(), b[3].octets.end()), text);
  EXPECT_EQ(Octets(b[4].octets.begin(), b[4].octets.end()), ip);
  EXPECT_EQ(std::vector<uint32_t>(b[5].oid.begin(), b[5].oid.end()),
            std::vector<uint32_t>(std::begin(value), std::end(value)));
  EXPECT_EQ(b[6].type, kBerNull);
  EXPECT_EQ(SnmpOidMonitorText(b[3].name) + SnmpValueMonitorText(b[3]),
            "1.3.6.1.2.1.1.5.0=UPS \\x01 one");

  // A message over 1471 octets does not fit.
  const std::string huge(1500, 'c');
  enc.message.community = CBytes(reinterpret_cast<const uint8_t*>(huge.data()), huge.size());
  EXPECT_EQ(SnmpEncodeMessage(enc, &out), 1);
}

TEST(SnmpMessage, BadInputIsRefused) {
  const Octets good = Message(0xA2, Binding(kSysNameOid, Tlv(0x04, Str("ups"))));
  Octets manyBindings, manyLongNames, bigStrings;
  for (int i = 0; i < 41; ++i) manyBindings = Cat({manyBindings, Binding(kSysNameOid, {0x05, 0x00})});
  const Octets longName = {0x2B, 6, 1, 4, 1, 0xB9, 0x19, 2, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
  for (int i = 0; i < 25; ++i) manyLongNames = Cat({manyLongNames, Binding(longName, {0x05, 0x00})});
  // With the six octets of the community, 253 + 253 brings the pool to 512.
  for (int i = 0; i < 2; ++i) bigStrings = Cat({bigStrings, Binding(kSysNameOid, Tlv(0x04, Octets(253, 'x')))});

  struct Case {
    const char* what;
    Octets bytes;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"not a sequence", {0x31, 0x00}},
      {"indefinite length", {0x30, 0x80, 0x02, 0x01, 0x00, 0x00, 0x00}},
      {"five length octets", {0x30, 0x85, 0, 0, 0, 0, 3, 0x02, 0x01, 0x00}},
      {"length past the end", {0x30, 0x7F, 0x02, 0x01, 0x00}},
      {"long length past the end", {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xF0, 0x02}},
      {"empty version", Tlv(0x30, Cat({Tlv(0x02, {}), Tlv(0x04, Str("p"))}))},
      {"binding overruns its list",
       Message(0xA2, Octets{0x30, 0x20, 0x06, 0x01, 0x2B, 0x05, 0x00})},
      {"value overruns its binding",
       Message(0xA2, Tlv(0x30, Cat({Tlv(0x06, kSysNameOid), Octets{0x04, 0x10, 'a'}})))},
      {"empty INTEGER", Message(0xA2, Binding(kSysNameOid, Tlv(0x02, {})))},
      {"five-octet INTEGER", Message(0xA2, Binding(kSysNameOid, Tlv(0x02, {0, 1, 2, 3, 4})))},
      {"five-octet Gauge32 not led by 00",
       Message(0xA2, Binding(kSysNameOid, Tlv(0x42, {1, 0, 0, 0, 0})))},
      {"six-octet Counter32", Message(0xA2, Binding(kSysNameOid, Tlv(0x41, {0, 0, 1, 2, 3, 4})))},
      {"empty OID name", Message(0xA2, Binding({}, {0x05, 0x00}))},
      {"OID value over 32 bits",
       Message(0xA2, Binding(kSysNameOid, Tlv(0x06, {0x2B, 0x90, 0x80, 0x80, 0x80, 0x00})))},
      {"Opaque value", Message(0xA2, Binding(kSysNameOid, Tlv(0x44, {1})))},
      {"Counter64 value", Message(0xA2, Binding(kSysNameOid, Tlv(0x46, {1})))},
      {"v2 exception value", Message(0xA2, Binding(kSysNameOid, Tlv(0x80, {})))},
      {"binding without a value", Message(0xA2, Tlv(0x30, Tlv(0x06, kSysNameOid)))},
      {"list element not a sequence", Message(0xA2, Tlv(0x06, kSysNameOid))},
      {"41 bindings", Message(0xA2, manyBindings)},
      {"OID pool overflow", Message(0xA2, manyLongNames)},
      {"string pool overflow", Message(0xA2, bigStrings)},
  };
  SnmpCodec codec;
  for (const Case& c : cases) {
    // A copy of exactly the case's size, so ASan sees any read past it.
    std::vector<uint8_t> exact(c.bytes);
    EXPECT_EQ(SnmpDecodeMessage(codec, exact), -1) << c.what;
  }
  for (size_t cut = 0; cut < good.size(); ++cut) {
    std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_EQ(SnmpDecodeMessage(codec, part), -1) << "cut at " << cut;
  }
  ASSERT_EQ(SnmpDecodeMessage(codec, good), 0);
  EXPECT_EQ(codec.bindingCount(), 1);

  // Forty bindings are fine; a binding after the list's end is not one of them.
  Octets forty;
  for (int i = 0; i < 40; ++i) forty = Cat({forty, Binding(kSysNameOid, {0x05, 0x00})});
  EXPECT_EQ(SnmpDecodeMessage(codec, Message(0xA2, forty)), 0);
  EXPECT_EQ(codec.bindingCount(), 40);
  Octets trailing = Cat({good, Binding(kSysNameOid, {0x05, 0x00})});
  EXPECT_EQ(SnmpDecodeMessage(codec, trailing), 0);
  EXPECT_EQ(codec.bindingCount(), 1);

  Octets fits = Cat({Binding(kSysNameOid, Tlv(0x04, Octets(253, 'x'))),
                     Binding(kSysNameOid, Tlv(0x04, Octets(252, 'x')))});
  EXPECT_EQ(SnmpDecodeMessage(codec, Message(0xA2, fits)), 0);

  // A trap is not for us.
  Octets trap = Tlv(0x30, Cat({Tlv(0x02, {0}), Tlv(0x04, Str("public")),
                               Tlv(0xA4, Cat({Tlv(0x06, {0x2B, 6, 1}), Tlv(0x40, {127, 0, 0, 1}),
                                              Tlv(0x02, {6}), Tlv(0x02, {1}), Tlv(0x43, {0}),
                                              Tlv(0x30, {})}))}));
  EXPECT_EQ(SnmpDecodeMessage(codec, trap), 2);
  EXPECT_EQ(codec.message.pdu, kPduTrap);
  EXPECT_EQ(codec.bindingCount(), 0);
}

TEST(SnmpMessage, OidTexts) {
  uint32_t arcs[16];
  size_t n = 0;
  ASSERT_TRUE(ParseOidText(".1.3.6.1.2.1.1.5.0", arcs, &n));
  EXPECT_EQ(n, 9u);
  for (const char* bad : {"", "1..3", "1.3.", "1.x", "1.3.99999999999"}) {
    EXPECT_FALSE(ParseOidText(bad, arcs, &n)) << bad;
  }
}

}  // namespace
}  // namespace lark
