#include "console/link/request_payloads.h"

#include <algorithm>

#include "linkserver/link_transfer.h"

namespace lark {

namespace {

constexpr size_t kIdBytes = 2;

bool Empty(CBytes p) { return p.empty(); }
bool Exactly(CBytes p, size_t n) { return p.size() == n; }
// A zero-terminated text with no zero before its end.
bool Text(CBytes p, size_t from = 0) {
  if (p.size() <= from || p.back() != 0) return false;
  return std::find(p.begin() + static_cast<std::ptrdiff_t>(from), p.end(), 0) == p.end() - 1;
}

bool UserDatabase(uint8_t sub, CBytes p) {
  switch (sub) {
    case 0: case 2: case 6: case 8: case 9: case 10: return Empty(p);
    case 1: return Exactly(p, kDatabaseSettingsSize);
    case 3: case 7: case 11: return Exactly(p, kLoginRecordSize);
    case 4: return Exactly(p, kDatabaseSettingsSize + kLoginRecordSize);
    case 12: return Exactly(p, kResultPageSize);
    case 13: return Text(p);
    case 14: case 15: case 16: return Exactly(p, kAccountRecordSize);
    default: return false;
  }
}

bool NodeProperties(uint8_t sub, CBytes p) {
  switch (sub) {
    case 0: case 1: case 7: return Exactly(p, kIdBytes + kNodeImageBytes);
    case 2: return Exactly(p, kIdBytes + kNodeImageBytes + 8);
    case 3: case 5: return Exactly(p, kIdBytes);
    case 4: return Exactly(p, kIdBytes + kPlcPointTableBytes);
    case 6: return Exactly(p, kIdBytes + 8);
    default: return false;
  }
}

bool EventTables(uint8_t sub, CBytes p) {
  if (sub % 2 == 0) return Empty(p);
  if (sub <= 21) return Exactly(p, kActionTablePageBytes[(sub - 1) / 2]);
  if (sub == 31) return Exactly(p, kSettingsRecordBytes);
  if (sub == 33) return Exactly(p, 4);
  return false;
}

bool Upload(CBytes p) {
  if (p.size() < kFileChunkHeaderSize) return false;
  const uint32_t length = u32At(p, kChunkOffLength);
  return length <= kUploadChunkMax && p.size() == kFileChunkHeaderSize + length;
}

}  // namespace

bool RequestPayloadFits(uint8_t command, uint8_t sub, CBytes p) {
  switch (command) {
    case 1: case 2: case 6: case 7: case 23: case 27: case 28: case 29: case 30: case 33: case 34:
      return Empty(p);
    case 3: return Text(p) && p.size() <= kMapNameBufferBytes;
    case 4: case 5: return Exactly(p, kFileChunkHeaderSize);
    case 8: case 9: case 10: return Exactly(p, kMapNameBufferBytes);
    case 11:
      if (sub == 2 || sub == 4) return Text(p);
      if (sub == 5) return Exactly(p, kFileChunkHeaderSize);
      if (sub == 6 || sub == 7) return Exactly(p, kEventLogQueryBytes);
      return false;
    case 12: return UserDatabase(sub, p);
    case 13: case 16: case 17: return Exactly(p, kIdBytes);
    case 14: return NodeProperties(sub, p);
    case 15: return p.size() > kIdBytes + kNodeImageBytes && Text(p, kIdBytes + kNodeImageBytes);
    case 18: return sub <= 1 && Exactly(p, kIdBytes);
    case 19: return sub == 1 && Exactly(p, kSettingsRecordBytes);
    case 20: return sub % 2 == 1 ? Exactly(p, kNotificationBlockBytes) : Empty(p);
    case 21: return EventTables(sub, p);
    case 22:
      if (sub == 0) return Empty(p);
      if (sub == 1) return Exactly(p, kSettingsRecordBytes);
      if (sub == 2) return Exactly(p, 32);
      return false;
    case 24:
      if (sub <= 1) return Empty(p);
      return sub == 2 && Exactly(p, kControlPasswordFieldSize);
    case 25: return sub > 3 ? Exactly(p, kTrafficRecordBytes) : Empty(p);
    case 26: return Exactly(p, kUpsControlRecordBytes);
    case 31: return sub == 0 ? Empty(p) : Exactly(p, kFileChunkHeaderSize);
    case 32: return Upload(p);
    default: return false;
  }
}

std::vector<uint8_t> IdPayload(uint16_t id, CBytes rest) {
  std::vector<uint8_t> out(2 + rest.size());
  out[0] = static_cast<uint8_t>(id >> 8);
  out[1] = static_cast<uint8_t>(id & 0xFF);
  std::copy(rest.begin(), rest.end(), out.begin() + 2);
  return out;
}

std::vector<uint8_t> TextPayload(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<uint8_t> out(text.begin(), text.end());
  out.push_back(0);
  return out;
}

std::optional<std::string> MapFileName(const std::string& typed) {
  if (typed.empty()) return std::nullopt;
  const std::string name = typed.find('.') == std::string::npos ? typed + ".UMF" : typed;
  if (name.size() > kMapNameBufferBytes - 1) return std::nullopt;
  // The service keeps it in its folder and the console copies it to
  // Monitor/: a plain file name only.
  if (!SafeWireName(name, 1) || name.front() == '.' || name.find("..") != std::string::npos) return std::nullopt;
  return name;
}

std::vector<uint8_t> MapNameBuffer(const std::string& name) {
  std::vector<uint8_t> buf(kMapNameBufferBytes, 0);
  std::copy_n(name.begin(), std::min(name.size(), buf.size() - 1), buf.begin());
  return buf;
}

}  // namespace lark
