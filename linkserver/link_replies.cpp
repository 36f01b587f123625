// The notification block and the PLC settings record of the console link.
#include "linkserver/link_replies.h"

#include <algorithm>

#include "core/device_node.h"
#include "core/settings.h"

namespace lark {

namespace {

using namespace notify_off;

// ContactorRecord fields: name 33, e-mail1 65, e-mail2 65, phone1 33, phone2 33, remark 65.
constexpr size_t kContactorFields[6][2] = {{0, 33},   {33, 65},  {98, 65},
                                           {163, 33}, {196, 33}, {229, 65}};
// RecipientItem: name char[34], node ids i16[50] at 34, outgoing slot i32 at 136.
constexpr size_t kRecipientNameSize = 34, kRecipientIds = 34, kRecipientSlot = 136;

int32_t ClampCount(uint32_t raw) {
  return static_cast<int32_t>(std::min<uint32_t>(raw, static_cast<uint32_t>(kListRows)));
}

// The text of a field with its terminator forced, cut to what the settings keep.
std::string FieldText(CBytes b, size_t off, size_t size, size_t keep) {
  std::string s = strAt(b, off, size);
  if (s.size() > keep) s.resize(keep);
  return s;
}

template <size_t N>
void PutList(Bytes b, size_t off, const std::array<std::string, N>& rows) {
  for (size_t i = 0; i < N; ++i) putStr(b, off + i * kListEntrySize, kListEntrySize, rows[i]);
}
template <size_t N>
void GetList(CBytes b, size_t off, std::array<std::string, N>& rows) {
  for (size_t i = 0; i < N; ++i) {
    rows[i] = FieldText(b, off + i * kListEntrySize, kListEntrySize, kListEntryMax);
  }
}

std::string* ContactorField(ContactorRecord& c, int i) {
  std::string* f[6] = {&c.name, &c.email1, &c.email2, &c.phone1, &c.phone2, &c.remark};
  return f[i];
}

}  // namespace

void WriteNotificationGroup(const ServiceSettings& s, int group, Bytes b) {
  if (b.size() < kNotificationBlockSize) return;
  const int g = group / 2;
  if (g == 0 || g == 3) {
    putStr(b, kSmtpServer, kSmtpServerSize, s.smtpServer);
    putStr(b, kSmtpSender, kSmtpSenderSize, s.smtpSender);
    putStr(b, kSmtpPassword, kSmtpPasswordSize, s.smtpPassword);
    putU32(b, kEmailCount, static_cast<uint32_t>(ClampCount(s.emailList.count)));
    PutList(b, kEmailList, s.emailList.addresses);
  }
  if (g == 1 || g == 3) {
    putU32(b, kBroadcastDomain, static_cast<uint32_t>(s.broadcastList.wholeDomain));
    putU32(b, kBroadcastCount, static_cast<uint32_t>(ClampCount(s.broadcastList.count)));
    PutList(b, kBroadcastList, s.broadcastList.hosts);
  }
  if (g == 2 || g == 3) {
    putStr(b, kGsmPort, kGsmPortSize, s.gsmPort);
    putU32(b, kGsmBaud, static_cast<uint32_t>(s.gsmBaud));
    putU32(b, kSmsCount, static_cast<uint32_t>(ClampCount(s.smsList.count)));
    PutList(b, kSmsList, s.smsList.phones);
  }
  if (g == 4) {
    for (int i = 0; i < kListRows; ++i) {
      const size_t base = kContactors + static_cast<size_t>(i) * kContactorSize;
      ContactorRecord c = s.contactors[static_cast<size_t>(i)];
      for (int f = 0; f < 6; ++f) {
        putStr(b, base + kContactorFields[f][0], kContactorFields[f][1], *ContactorField(c, f));
      }
    }
  }
  if (g == 5) {
    for (int i = 0; i < kListRows; ++i) {
      const size_t base = kRecipients + static_cast<size_t>(i) * kRecipientSize;
      const RecipientItem& item = s.recipients[static_cast<size_t>(i)];
      putStr(b, base, kRecipientNameSize, item.name);
      for (int k = 0; k < kRecipientNodeIds; ++k) {
        putI16(b, base + kRecipientIds + 2 * static_cast<size_t>(k), item.nodeIds[k]);
      }
      putI32(b, base + kRecipientSlot, item.outgoingSlot);
    }
  }
}

int ReadNotificationGroup(ServiceSettings& s, int group, CBytes b) {
  if (b.size() < kNotificationBlockSize || group < 0 || group > 11) return 0;
  const int g = group / 2;
  int touched = 0;
  if (g == 0 || g == 3) {
    s.smtpServer = FieldText(b, kSmtpServer, kSmtpServerSize, kSmtpServerMax);
    s.smtpSender = FieldText(b, kSmtpSender, kSmtpSenderSize, kSmtpSenderMax);
    s.smtpPassword = FieldText(b, kSmtpPassword, kSmtpPasswordSize, kSmtpPasswordMax);
    s.emailList.count = ClampCount(u32At(b, kEmailCount));
    GetList(b, kEmailList, s.emailList.addresses);
    touched |= 1;
  }
  if (g == 1 || g == 3) {
    s.broadcastList.wholeDomain = i32At(b, kBroadcastDomain);
    s.broadcastList.count = ClampCount(u32At(b, kBroadcastCount));
    GetList(b, kBroadcastList, s.broadcastList.hosts);
    touched |= 2;
  }
  if (g == 2 || g == 3) {
    s.gsmPort = FieldText(b, kGsmPort, kGsmPortSize, kGsmPortMax);
    s.gsmBaud = i32At(b, kGsmBaud);
    s.smsList.count = ClampCount(u32At(b, kSmsCount));
    GetList(b, kSmsList, s.smsList.phones);
    touched |= 4;
  }
  if (g == 4) {
    for (int i = 0; i < kListRows; ++i) {
      const size_t base = kContactors + static_cast<size_t>(i) * kContactorSize;
      ContactorRecord& c = s.contactors[static_cast<size_t>(i)];
      for (int f = 0; f < 6; ++f) {
        *ContactorField(c, f) = FieldText(b, base + kContactorFields[f][0], kContactorFields[f][1],
                                          kContactorFields[f][1] - 1);
      }
    }
    touched |= 8;
  }
  if (g == 5) {
    for (int i = 0; i < kListRows; ++i) {
      const size_t base = kRecipients + static_cast<size_t>(i) * kRecipientSize;
      RecipientItem item;
      item.name = FieldText(b, base, kRecipientNameSize, kRecipientNameMax);
      for (int k = 0; k < kRecipientNodeIds; ++k) {
        item.nodeIds[k] = i16At(b, base + kRecipientIds + 2 * static_cast<size_t>(k));
      }
      // Slots are bound by the service, never taken from the console.
      item.outgoingSlot = -1;
      s.recipients[static_cast<size_t>(i)] = item;
    }
    touched |= 16;
  }
  return touched;
}

// PlcSettingsRecord: u16 PointNum, XBYPASS, BYPASSUPSID, then u16[32] UPSID,
// XTPCTrip, XUCBTrip, YTPCAlarm, YUPSAlarm, then 32 texts of 65 bytes.
namespace {
constexpr size_t kPlcTables = 6, kPlcTableSize = 64, kPlcSources = 326;
}  // namespace

void WritePlcSettings(const DeviceNode& node, Bytes out) {
  if (out.size() < kPlcSettingsSize) return;
  putI16(out, 0, node.plcPointNum());
  putI16(out, 2, node.plcXBypass());
  putI16(out, 4, node.plcBypassUpsId());
  for (int i = 0; i < kPlcPointCount; ++i) {
    const size_t k = 2 * static_cast<size_t>(i);
    putI16(out, kPlcTables + k, node.plcUpsId(i));
    putI16(out, kPlcTables + kPlcTableSize + k, node.plcXtpcTrip(i));
    putI16(out, kPlcTables + 2 * kPlcTableSize + k, node.plcXucbTrip(i));
    putI16(out, kPlcTables + 3 * kPlcTableSize + k, node.plcYtpcAlarm(i));
    putI16(out, kPlcTables + 4 * kPlcTableSize + k, node.plcYupsAlarm(i));
    putStr(out, kPlcSources + static_cast<size_t>(i) * kPlcSourceTextSize, kPlcSourceTextSize,
           node.plcSource(i));
  }
}

void ReadPlcSettings(DeviceNode& node, CBytes in) {
  if (in.size() < kPlcSettingsSize) return;
  node.setPlcPointNum(i16At(in, 0));
  node.setPlcXBypass(i16At(in, 2));
  node.setPlcBypassUpsId(i16At(in, 4));
  for (int i = 0; i < kPlcPointCount; ++i) {
    const size_t k = 2 * static_cast<size_t>(i);
    node.setPlcUpsId(i, i16At(in, kPlcTables + k));
    node.setPlcXtpcTrip(i, i16At(in, kPlcTables + kPlcTableSize + k));
    node.setPlcXucbTrip(i, i16At(in, kPlcTables + 2 * kPlcTableSize + k));
    node.setPlcYtpcAlarm(i, i16At(in, kPlcTables + 3 * kPlcTableSize + k));
    node.setPlcYupsAlarm(i, i16At(in, kPlcTables + 4 * kPlcTableSize + k));
    // An empty source frees the node's copy.
    node.setPlcSource(i, strAt(in, kPlcSources + static_cast<size_t>(i) * kPlcSourceTextSize,
                               kPlcSourceTextSize - 1));
  }
}

}  // namespace lark
